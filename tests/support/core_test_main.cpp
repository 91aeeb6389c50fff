// The shared main of the test binaries of the layers without a widget: Qt's
// core alone, so that a widget crept in fails to link.
#include "tests/support/test_environment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    const std::filesystem::path root = testing_support::enterTestEnvironment();
    if (root.empty())
        return 2;
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return rc;
}
