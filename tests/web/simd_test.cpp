// The browser build's vector paths are in it and chosen. It runs with the
// native tests of those paths against their references (qvo-simdtests in
// cmake/web.cmake), which alone would pass just the same on a build that
// silently fell back to the scalar code.
#include <gtest/gtest.h>

#include "demo/effects/noisekernel.h"
#include "display/rowconverters.h"

TEST(WebSimd, TheConvertersAndTheNoiseRunTheirVectorPaths) {
    ASSERT_NE(rowconv::sse2Set(), nullptr);
    ASSERT_NE(rowconv::ssse3Set(), nullptr);
    EXPECT_EQ(rowconv::avx2Set(), nullptr);
    // The canvas's byte order, as the page's display picks it.
    EXPECT_EQ(rowconv::chosen(rowconv::Swap32), rowconv::ssse3Set()->convert[rowconv::Swap32]);
    EXPECT_EQ(rowconv::chosen(rowconv::To565), rowconv::sse2Set()->convert[rowconv::To565]);
    EXPECT_TRUE(noisekernel::vectorAvailable());
}
