// Worker threads of an activation: start, progress, stop and join.
#include "Activation.h"

#include <cmath>
#include <new>
#include <system_error>

namespace obra {

int32_t ProcessorCount() {
  const unsigned N = std::thread::hardware_concurrency();
  if (N < 1) return 1;
  return N > static_cast<unsigned>(MaxThreads) ? MaxThreads : static_cast<int32_t>(N);
}

int32_t ProgressPercent(int32_t Done, int32_t Total) {
  if (Total <= 0) return 100;
  return static_cast<int32_t>(std::nearbyint(static_cast<double>(Done) * 100.0 / Total));
}

Activation::~Activation() { Stop(); }

bool Activation::StartWorkers(const EqualizeJob& Job, int32_t ThreadCount, EngineKind Kind) {
  if (Running() || !ValidJob(Job) || ThreadCount < 1 || ThreadCount > MaxThreads) return false;
  Kernel_ = *Job.Kernel;
  Noise_ = *Job.Noise;
  Job_ = Job;
  Job_.Kernel = &Kernel_;
  Job_.Noise = &Noise_;
  Count_ = ThreadCount;
  Stop_.store(false, std::memory_order_relaxed);
  Started_ = std::chrono::steady_clock::now();
  for (int32_t I = 0; I < Count_; ++I) {
    ThreadIndex_[I] = I;
    ThreadProgress_[I].store(0, std::memory_order_relaxed);
  }
  // All scratch is sized here, on the starting thread, so that a shortage is
  // a failed start rather than a worker that dies or never finishes.
  // Workers take their columns in small bands from one dealer.
  const detail::EngineIsa Isa = detail::ChosenIsa(Job_);
  detail::DealColumns(Dealer_, Job_, Count_, Isa);
  try {
    Scratch_.clear();
    Scratch_.resize(Count_);
    for (int32_t I = 0; I < Count_; ++I)
      detail::PrepareWorker(Job_, I, Count_, Kind, Isa, Scratch_[I], &Dealer_);
  } catch (const std::bad_alloc&) {
    Scratch_.clear();
    return false;
  }
  try {
    Threads_.reserve(Count_);
    for (int32_t I = 0; I < Count_; ++I)
      Threads_.emplace_back(&Activation::Worker, this, &ThreadIndex_[I]);
  } catch (const std::system_error&) {
    Stop();
    return false;
  } catch (const std::bad_alloc&) {
    Stop();
    return false;
  }
  return true;
}

void Activation::Worker(const int32_t* Index) {
  const int32_t I = *Index;
  detail::RunWorker(Job_, Scratch_[I], ThreadProgress_[I], &Stop_);
}

int32_t Activation::WorkerProgress() const {
  int32_t S = 0;
  for (int32_t I = 0; I < Count_; ++I) S += ThreadProgress_[I].load(std::memory_order_acquire);
  return S;
}

double Activation::SecondsLeft() const {
  const int32_t Done = WorkerProgress(), Total = Job_.RoiWidth;
  if (Done <= 0) return -1.0;
  if (Done >= Total) return 0.0;
  const std::chrono::duration<double> Elapsed = std::chrono::steady_clock::now() - Started_;
  return Elapsed.count() * static_cast<double>(Total - Done) / Done;
}

void Activation::Wait() {
  for (std::thread& T : Threads_)
    if (T.joinable()) T.join();
  Threads_.clear();
}

void Activation::Stop() {
  Stop_.store(true, std::memory_order_relaxed);
  Wait();
}

size_t Activation::ScratchBytes(int32_t Index) const {
  if (Index < 0 || Index >= static_cast<int32_t>(Scratch_.size())) return 0;
  const detail::WorkerScratch& S = Scratch_[Index];
  return S.Kind == EngineKind::Reference ? S.Reference.Histogram.size() * sizeof(float)
                                         : S.Production.Bytes();
}

}  // namespace obra
