// Message texts of the argument binder and of the failed-equality assertion.
#include <gtest/gtest.h>

#include <array>
#include <string_view>

#include "binding/messages.hpp"
#include "lib/failure.hpp"

namespace m = halomag::binding::messages;
using namespace std::string_view_literals;

TEST(BindingMessages, QuotedListPunctuation) {
    EXPECT_EQ(m::quoted_list({}), "");
    const std::array one{"re"sv};
    EXPECT_EQ(m::quoted_list(one), "'re'");
    const std::array two{"re"sv, "rstar"sv};
    EXPECT_EQ(m::quoted_list(two), "'re' and 'rstar'");
    const std::array three{"rstar"sv, "bl"sv, "bf"sv};
    EXPECT_EQ(m::quoted_list(three), "'rstar', 'bl', and 'bf'");
    const std::array four{"a"sv, "b"sv, "c"sv, "d"sv};
    EXPECT_EQ(m::quoted_list(four), "'a', 'b', 'c', and 'd'");
}

TEST(BindingMessages, CountsAndGrammaticalNumber) {
    EXPECT_EQ(m::too_many_positional("f", 3, 3, 4), "f() takes 3 positional arguments but 4 were given");
    EXPECT_EQ(m::too_many_positional("f", 0, 0, 1), "f() takes 0 positional arguments but 1 was given");
    EXPECT_EQ(m::too_many_positional("f", 1, 3, 4),
              "f() takes from 1 to 3 positional arguments but 4 were given");
    const std::array one{"rstar"sv};
    EXPECT_EQ(m::missing_required("f", "positional", one),
              "f() missing 1 required positional argument: 'rstar'");
    const std::array two{"a"sv, "b"sv};
    EXPECT_EQ(m::missing_required("f", "keyword", two),
              "f() missing 2 required keyword arguments: 'a' and 'b'");
    EXPECT_EQ(m::positional_only_as_keyword("f", two),
              "f() got some positional-only arguments passed as keyword arguments: 'a' and 'b'");
}

TEST(BindingMessages, Conversion) {
    EXPECT_EQ(m::cannot_convert("dict", "Sequence"), "'dict' object cannot be converted to 'Sequence'");
    EXPECT_EQ(m::argument_error("l", "boom"), "argument 'l': boom");
}

TEST(InternalFailure, FailedEqualityHasThreeLines) {
    EXPECT_EQ(halomag::failed_equality_message(2, 1),
              "assertion `left == right` failed\n  left: 2\n right: 1");
    EXPECT_NO_THROW(halomag::assert_equal(3, 3));
    try {
        halomag::assert_equal(0, 7);
        FAIL() << "no failure";
    } catch (const halomag::InternalFailure& failure) {
        EXPECT_STREQ(failure.what(), "assertion `left == right` failed\n  left: 0\n right: 7");
    }
}
