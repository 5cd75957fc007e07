// Helpers of the tests that run the kernel rows (tests/kernels, tests/resampler): which rows
// this run tries, and forcing one of them. The rows are those of dsp/kernels/kernel_rows.def.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "dsp/kernels/cpu_features.h"
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"

namespace sonvex {
// Versions and rows by name in test messages.
inline void PrintTo(KernelVersion version, std::ostream* os) { *os << KernelVersionName(version); }
namespace detail {
inline void PrintTo(const KernelRow* row, std::ostream* os) { *os << row->name; }
}  // namespace detail
}  // namespace sonvex

namespace sonvex_test {

using sonvex::KernelVersion;
using sonvex::detail::KernelRow;

inline KernelVersion VersionAt(int index) { return static_cast<KernelVersion>(index); }
inline const KernelRow& RowAt(int index) { return sonvex::detail::kKernelRows[index]; }

// Parameters and test names of the suites that run once per row.
inline auto AllRows() {
    std::vector<const KernelRow*> rows;
    for (const KernelRow& row : sonvex::detail::kKernelRows) rows.push_back(&row);
    return ::testing::ValuesIn(rows);
}
struct RowParamName {
    std::string operator()(const ::testing::TestParamInfo<const KernelRow*>& info) const { return info.param->name; }
};

inline const sonvex::detail::ProcessorFeatures& Processor() { return sonvex::detail::DetectedProcessorFeatures(); }

// True when this processor (and its operating system) has what the row's routines execute.
inline bool ProcessorRunsRow(const KernelRow& row) { return sonvex::detail::ProcessorRuns(row); }
// True when it runs some row of the version.
inline bool ProcessorRunsVersion(KernelVersion version) {
    return sonvex::detail::ProcessorRuns(sonvex::detail::KernelRowFor(version));
}

// The row and the version the dispatch picks on this processor.
inline const KernelRow& PickedRow() { return sonvex::detail::SelectKernelRow(Processor().features); }
inline KernelVersion PickedVersion() { return PickedRow().version; }

// The emulated 32-bit runs go once per processor model, and each run tries only the row its
// model picks (SONVEX_TEST_ONLY_PICKED_VERSION): every row is then tested where it is chosen by
// itself, at a fraction of the time. Other runs force every row the processor executes in turn.
inline bool OnlyPickedVersion() {
    const char* value = std::getenv("SONVEX_TEST_ONLY_PICKED_VERSION");
    return value && *value && *value != '0';
}

inline bool RowUnderTest(const KernelRow& row) {
    return ProcessorRunsRow(row) && (!OnlyPickedVersion() || &row == &PickedRow());
}
inline bool VersionUnderTest(KernelVersion version) {
    return ProcessorRunsVersion(version) && (!OnlyPickedVersion() || version == PickedVersion());
}

// The version and the row the run's processor model must select (SONVEX_TEST_EXPECTED_VERSION,
// SONVEX_TEST_EXPECTED_ROW), or -1 and null.
inline int ExpectedVersionIndex() {
    const char* value = std::getenv("SONVEX_TEST_EXPECTED_VERSION");
    return value && *value ? std::atoi(value) : -1;
}
inline const char* ExpectedRowName() {
    const char* value = std::getenv("SONVEX_TEST_EXPECTED_ROW");
    return value && *value ? value : nullptr;
}

// Forces a row (or a version's best row) for the life of the object, then puts back the row
// active before.
class ForcedRow {
public:
    explicit ForcedRow(const KernelRow& row) : m_previous(sonvex::detail::ActiveKernelRow()) {
        sonvex::detail::ForceKernelRow(row);
    }
    explicit ForcedRow(KernelVersion version) : ForcedRow(sonvex::detail::KernelRowFor(version)) {}
    ~ForcedRow() { sonvex::detail::ForceKernelRow(m_previous); }
    ForcedRow(const ForcedRow&) = delete;
    ForcedRow& operator=(const ForcedRow&) = delete;

private:
    const KernelRow& m_previous;
};
using ForcedVersion = ForcedRow;

}  // namespace sonvex_test
