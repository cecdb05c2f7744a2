#include "files/extraction.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// Each call as one line, in order; a target named "bad" fails to write.
std::vector<WideString> calls;

bool recordDirectory(const WideString& path) {
    calls.push_back(u"mkdir " + path);
    return path != u"T\\ro";
}

int recordExtract(void*, const WideString& target) {
    calls.push_back(u"file " + target);
    return target.ends_with(u"bad") ? 2 : 0;
}

TEST(Extraction, InOrderEachDirectoryBeforeItsFileStoppingAtAFailure) {
    testing::clearCapturedLog();
    ExtractionCalls table{recordDirectory, recordExtract, nullptr};
    EXPECT_EQ(extractInOrder(u"T", {u"a.jar", u"lib\\b.dll", u"ro\\c", u"bad", u"never"}, table),
              2);
    EXPECT_EQ(calls,
              (std::vector<WideString>{u"file T\\a.jar", u"mkdir T\\lib", u"file T\\lib\\b.dll",
                                       u"mkdir T\\ro", u"file T\\ro\\c", u"file T\\bad"}));
    EXPECT_EQ(testing::capturedLog(),
              (std::vector<std::string>{"creating directory T\\lib", "creating directory T\\ro",
                                        "ERROR: failed to create directory T\\ro",
                                        "ERROR: Failed to extract T\\bad"}));
}

}  // namespace
}  // namespace tesmo
