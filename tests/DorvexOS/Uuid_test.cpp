#include "DorvexCore/ScreenCapture.h"
#include "DorvexCore/UIEvents.h"
#include "DorvexOS/Uuid.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <string>

namespace dorvex::uuid {
namespace {

TEST(Uuid, FreshOnesAreWellFormedAndDistinct) {
    const std::regex pattern("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        std::string text = newUpper();
        EXPECT_TRUE(std::regex_match(text, pattern)) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

// The names the driver makes from fresh UUIDs: capture files and subscription ids.
TEST(Uuid, FreshOnesMakeWellFormedCaptureNamesAndSubscriptionIds) {
    const std::regex fileName("capture-[0-9]+-[0-9A-F]{8}\\.png");
    EXPECT_TRUE(std::regex_match(ScreenCapture::fileName(1765324800123, newUpper()), fileName));

    const std::regex subscription("sub_[0-9A-F]{32}");
    const std::string a = UIEvents::subscriptionId(newUpper());
    EXPECT_TRUE(std::regex_match(a, subscription)) << a;
    EXPECT_NE(a, UIEvents::subscriptionId(newUpper()));
}

} // namespace
} // namespace dorvex::uuid
