#pragma once
// What every test binary runs in: headless, silent, and a private home for
// every setting, store and data folder the program touches.
#include <filesystem>

namespace testing_support {

// Sets the environment up; the private home it made, empty when it could not.
std::filesystem::path enterTestEnvironment();

} // namespace testing_support
