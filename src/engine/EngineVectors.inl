// Vector types and helpers the per-variant code of both production engines
// shares (EqualizeColumns.inl, EqualizeValues.inl). Included inside the
// variant's namespace and an unnamed namespace, with OBRA_NATIVE_LANES (the
// floats of a machine vector) defined, so that every variant has its own
// copies and calls only compiler built-ins.

constexpr int32_t KN = OBRA_NATIVE_LANES;
constexpr int32_t KU = 2 * KN;  // 16-bit lanes in a machine vector
typedef float VN __attribute__((vector_size(4 * KN), may_alias));
typedef int32_t VI __attribute__((vector_size(4 * KN), may_alias));
typedef uint16_t VU __attribute__((vector_size(4 * KN), may_alias));

inline VN LoadN(const float* P) {
  VN V;
  __builtin_memcpy(&V, P, sizeof V);
  return V;
}
inline void StoreN(float* P, VN V) { __builtin_memcpy(P, &V, sizeof V); }
inline VI LoadI(const int32_t* P) {
  VI V;
  __builtin_memcpy(&V, P, sizeof V);
  return V;
}
inline VU LoadU(const uint16_t* P) {
  VU V;
  __builtin_memcpy(&V, P, sizeof V);
  return V;
}
inline void StoreU(uint16_t* P, VU V) { __builtin_memcpy(P, &V, sizeof V); }
inline VU MinU(VU A, VU B) { return A < B ? A : B; }
inline VU MaxU(VU A, VU B) { return A > B ? A : B; }
inline int32_t Min(int32_t A, int32_t B) { return A < B ? A : B; }
inline int32_t Max(int32_t A, int32_t B) { return A > B ? A : B; }

// Lane k: Table[Idx[k]], every lane (the indices must lie inside the table).
inline VI GatherI(const int32_t* Table, VI Idx) {
#if defined(__AVX512F__) && OBRA_NATIVE_LANES == 16
  return __builtin_ia32_gathersiv16si(VI{}, Table, Idx, 0xFFFF, 4);
#elif defined(__AVX2__) && OBRA_NATIVE_LANES == 8
#if defined(__clang__)
  return __builtin_ia32_gatherd_d256(VI{}, Table, Idx, VI{} - 1, 4);
#else
  return __builtin_ia32_gathersiv8si(VI{}, Table, Idx, VI{} - 1, 4);
#endif
#else
  VI R;
  for (int32_t k = 0; k < KN; ++k) R[k] = Table[Idx[k]];
  return R;
#endif
}
inline VN GatherF(const float* Table, VI Idx) {
#if defined(__AVX512F__) && OBRA_NATIVE_LANES == 16
  return __builtin_ia32_gathersiv16sf(VN{}, Table, Idx, 0xFFFF, 4);
#elif defined(__AVX2__) && OBRA_NATIVE_LANES == 8
#if defined(__clang__)
  return __builtin_ia32_gatherd_ps256(VN{}, Table, Idx, VN{} - 1.0f, 4);
#else
  return __builtin_ia32_gathersiv8sf(VN{}, Table, Idx, VN{} - 1.0f, 4);
#endif
#else
  VN R;
  for (int32_t k = 0; k < KN; ++k) R[k] = Table[Idx[k]];
  return R;
#endif
}

// Smallest and largest bin row of every pixel's neighbourhood in one pixel
// column, whose neighbourhood columns are Columns[0 .. Count - 1] (their bin
// rows from image row J.RowBase, HorizontalRows of them read, a whole number
// of vectors): first per row the smallest bin row minus 1 (value-0 samples
// wrap to 0xFFFF and drop out) and the largest into J.RowMinM1 and J.RowMax
// (offset by R), then for the OutRows rows from J.Top the smallest (0: none)
// and largest over the rows of each pixel's neighbourhood into Lo and Hi.
inline void NeighbourhoodRanges(const EngineRows& J, const uint16_t* const* Columns, int32_t Count,
                                int32_t HorizontalRows, int32_t OutRows, uint16_t* Lo,
                                uint16_t* Hi) {
  const VU None = ~VU{}, One = VU{} + 1;
  for (int32_t I = 0; I < HorizontalRows; I += KU) {
    VU L = None, H = VU{};
    for (int32_t C = 0; C < Count; ++C) {
      const VU V = LoadU(Columns[C] + I);
      L = MinU(L, V - One);
      H = MaxU(H, V);
    }
    StoreU(J.RowMinM1 + J.R + I, L);
    StoreU(J.RowMax + J.R + I, H);
  }
  const int32_t First = J.Top - J.RowBase;
  for (int32_t Y = 0; Y < OutRows; Y += KU) {
    VU L = None, H = VU{};
    for (int32_t T = 0; T <= 2 * J.R; ++T) {
      L = MinU(L, LoadU(J.RowMinM1 + First + Y + T));
      H = MaxU(H, LoadU(J.RowMax + First + Y + T));
    }
    StoreU(Lo + Y, L + One);
    StoreU(Hi + Y, H);
  }
}
