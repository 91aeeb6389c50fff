// Functions of a library opened on first use: found when it is there, and a
// failure with its reason when it is not, never a crash.
#include "platform/base/lazy_library.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

lazy_library::Library& missing()
{
    static lazy_library::Library library("libquorvana-not-installed.so.7");
    return library;
}

lazy_library::Library& mathLibrary()
{
    static lazy_library::Library library("libm.so.6");
    return library;
}

} // namespace

extern "C" int quorvana_test_missing_function(int value);
QUORVANA_FORWARD(missing(), -1, int, quorvana_test_missing_function, (int value), (value))

TEST(LazyLibrary, PresentFunctionsAreFoundAndMissingOnesFailWithTheirReason)
{
    using Cos = double (*)(double);
    const auto cosine = reinterpret_cast<Cos>(mathLibrary().symbol("cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(mathLibrary().why(), "");

    EXPECT_EQ(mathLibrary().symbol("quorvana_no_such_function"), nullptr);
    EXPECT_EQ(mathLibrary().why(), "libm.so.6 has no quorvana_no_such_function");

    EXPECT_EQ(quorvana_test_missing_function(5), -1);
    EXPECT_NE(missing().why().find("libquorvana-not-installed.so.7"), std::string::npos) << missing().why();
}
