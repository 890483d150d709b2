// The activation object: the worker threads of one equalization run.
//
// Common rules of this module:
//  - An Activation owns its threads, their progress counters and their
//    scratch, and copies of the job and of its kernel tables, so a
//    configuration read during a run cannot change what the workers see. The
//    image buffers stay the caller's: they must stay unchanged and alive until
//    Wait() or destruction, so an Activation is destroyed before the buffers
//    it reads (declare it after them).
//  - Workers take no locks. They take their columns in small bands from a
//    shared counter, so the workers finish together however the cost of the
//    columns is spread. Each stores its finished-column count with
//    release order; WorkerProgress() loads them with acquire order, so a sum
//    equal to RoiWidth means every output sample is visible to the caller.
//  - Stop(), and destroying a running Activation, ask the workers to stop
//    after their current column and join them; the output is then
//    incomplete. A column at KerSize 64 over 4096 rows takes well under half
//    a second, so a stop is prompt without checks inside a column.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "AdaptiveEQ.h"
#include "EngineDetail.h"

namespace obra {

// The progress percentage shown while an activation runs: Done x 100 / Total
// in floating point, rounded half to even (2.5 % shows as 2); 100 when Total
// is not positive.
int32_t ProgressPercent(int32_t Done, int32_t Total);

class Activation {
 public:
  Activation() = default;
  Activation(const Activation&) = delete;
  Activation& operator=(const Activation&) = delete;
  ~Activation();

  // Starts ThreadCount workers over Job and returns at once. False, with
  // nothing running, when a run is still in progress, Job is invalid,
  // ThreadCount is not 1..64, scratch cannot be allocated or a thread cannot
  // be created (workers already started are then stopped and joined).
  bool StartWorkers(const EqualizeJob& Job, int32_t ThreadCount,
                    EngineKind Kind = EngineKind::Production);
  // Columns finished so far: the sum of ThreadProgress (acquire loads).
  int32_t WorkerProgress() const;
  // True from a successful StartWorkers until Wait (or destruction).
  bool Running() const { return !Threads_.empty(); }
  // Joins all workers; returns at once when none runs.
  void Wait();
  // Asks the workers to stop after their current column and joins them;
  // returns at once when none runs. The output is then incomplete.
  void Stop();
  // Estimated seconds until every column is done, from the rate of the
  // columns done since StartWorkers; negative while no column is done yet.
  double SecondsLeft() const;
  // Number of workers of the current or last run.
  int32_t ThreadCount() const { return Count_; }
  // Bytes of scratch held by worker Index of the current or last run.
  size_t ScratchBytes(int32_t Index) const;

 private:
  void Worker(const int32_t* Index);

  EqualizeJob Job_;
  KernelTableType Kernel_;
  NoiseKernelType Noise_;
  int32_t Count_ = 0;
  std::array<int32_t, MaxThreads> ThreadIndex_{};
  std::array<std::atomic<int32_t>, MaxThreads> ThreadProgress_{};
  detail::ColumnDealer Dealer_;
  std::vector<detail::WorkerScratch> Scratch_;
  std::vector<std::thread> Threads_;
  std::atomic<bool> Stop_{false};
  std::chrono::steady_clock::time_point Started_{};
};

}  // namespace obra
