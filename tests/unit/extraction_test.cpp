#include "files/extraction.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

std::vector<WideString> calls;

TEST(Extraction, InOrderEachDirectoryBeforeItsFileStoppingAtAFailure) {
    testing::clearCapturedLog();
    // A target named "bad" fails to write.
    ExtractionCalls table{
        [](const WideString& path) { return calls.push_back(u"mkdir " + path), path != u"T\\ro"; },
        [](void*, const WideString& to) {
            return calls.push_back(u"file " + to), to.ends_with(u"bad") ? 2 : 0;
        },
        nullptr};
    EXPECT_EQ(extractInOrder(u"T", {u"a", u"l\\b", u"ro\\bad", u"never"}, table), 2);
    EXPECT_EQ(calls, (std::vector<WideString>{u"file T\\a", u"mkdir T\\l", u"file T\\l\\b",
                                              u"mkdir T\\ro", u"file T\\ro\\bad"}));
    EXPECT_EQ(testing::capturedLog(),
              (std::vector<std::string>{"creating directory T\\l", "creating directory T\\ro",
                                        "ERROR: failed to create directory T\\ro",
                                        "ERROR: Failed to extract T\\ro\\bad"}));
}

}  // namespace
}  // namespace tesmo
