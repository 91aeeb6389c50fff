#pragma once
// A sequence played by hand-stepped time into a capture output, for tests
// that read what it sent, message by message.
#include "platform/midi/capture_output.h"
#include "platform/midi/sequence.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// Division 500 at the default tempo: one tick is one millisecond.
inline constexpr int msDivision = 500;

inline std::string hex(const std::vector<uint8_t>& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

class SteppedSequence : public testing::Test {
protected:
    void load(const std::string& file)
    {
        auto s = std::make_shared<midi::Song>();
        std::string error;
        ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, *s, error)) << error;
        seq = std::make_unique<midi::Sequence>(s, output);
    }
    // What was sent since the last call, in hex.
    std::vector<std::string> sent()
    {
        std::vector<std::string> out;
        for (const auto& m : output->messages())
            out.push_back(hex(m.bytes));
        output->clear();
        return out;
    }
    static midi::TimePoint at(std::chrono::microseconds t) { return t0 + t; }

    static inline const midi::TimePoint t0 = midi::TimePoint {} + std::chrono::seconds(100);
    std::shared_ptr<midi::CaptureOutput> output = std::make_shared<midi::CaptureOutput>();
    std::unique_ptr<midi::Sequence> seq;
};

} // namespace testing_support
