#pragma once

namespace zd::test {

/// CPU seconds this process has used, user and system.
double cpuSeconds();
/// This process's own peak resident memory in MB; -1 when unknown.
long peakRssMb();

} // namespace zd::test
