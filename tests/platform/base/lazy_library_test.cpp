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

// As a library's own error-text function would be forwarded.
extern "C" const char* quorvana_test_error_text(int code);
QUORVANA_FORWARD(missing(), missing().openFailure(), const char*, quorvana_test_error_text, (int code), (code))

TEST(LazyLibrary, PresentFunctionsAreFoundAndMissingOnesFailWithTheirReason)
{
    using Cos = double (*)(double);
    const auto cosine = reinterpret_cast<Cos>(mathLibrary().symbol("cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(mathLibrary().why(), "");

    EXPECT_EQ(mathLibrary().symbol("quorvana_no_such_function"), nullptr);
    EXPECT_EQ(mathLibrary().why(), "libm.so.6 has no quorvana_no_such_function");

    const std::string failure = quorvana_test_error_text(5);
    EXPECT_EQ(failure.rfind("libquorvana-not-installed.so.7 cannot be loaded (", 0), 0u) << failure;
    EXPECT_EQ(missing().why(), failure);
}
