#include "ad/Errors.h"

#include <gtest/gtest.h>

TEST(CheckHResult, PassesSuccessAndThrowsFailure) {
    EXPECT_EQ(S_FALSE, AD::CheckHResult(S_FALSE, "x"));
    try {
        AD::CheckHResult(E_FAIL, "Unable to do it");
        FAIL() << "no throw";
    } catch (const AD::HResultException& e) {
        EXPECT_EQ(E_FAIL, e.hresult());
        EXPECT_STREQ("Unable to do it", e.what());
    }
}
