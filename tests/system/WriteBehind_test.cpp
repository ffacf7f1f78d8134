#include "system/WriteBehind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Far more blocks pass than may exist at once: each is given back after its
// work, and work with and without data runs in the order it was queued.
TEST(WriteBehind, RunsWorkInOrderAndReusesItsBlocks)
{
    std::string written;
    std::string expected;
    {
        WriteBehind writer(8);
        for (int i = 0; i < 100; ++i) {
            const std::string piece = std::to_string(i) + ",";
            WriteBehind::Block block = writer.take();
            std::memcpy(block.data.get(), piece.data(), piece.size());
            block.size = piece.size();
            writer.post(
                [&written](const WriteBehind::Block& b) {
                    written.append(reinterpret_cast<const char*>(b.data.get()), b.size);
                },
                std::move(block));
            expected += piece;
            if (i % 10 == 0) {
                writer.post([&written] { written += "|"; });
                expected += "|";
            }
            if (i == 50) {
                writer.drain();
                EXPECT_EQ(written, expected) << "everything queued so far has run";
            }
        }
        writer.post([&written] { written += "end"; });
    }
    EXPECT_EQ(written, expected + "end") << "the rest ran before the writer ended";
}

} // namespace
