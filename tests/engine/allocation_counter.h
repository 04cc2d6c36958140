// Counts every operator new in the test program.
#pragma once

namespace yawp::test {
long allocations();
}
