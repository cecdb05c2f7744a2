// Reading primitives over the launcher's own executable file. The file is reached through
// a small table of functions so that the same code reads a Windows handle in the launcher
// and a byte buffer in the tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/text.h"

namespace tesmo {

struct FileReader {
    void* context;
    // Reads up to `size` bytes; false on a failed read. `delivered` is always set, and
    // `error` receives the system error code of a failure (0 otherwise).
    bool (*read)(void* context, void* buffer, std::uint32_t size, std::uint32_t* delivered,
                 std::uint32_t* error);
    bool (*seek)(void* context, std::int64_t position);
    std::int64_t (*position)(void* context);
    std::int64_t (*size)(void* context);
};

// Which primitive hit a short read or malformed length; the launcher ends with the
// message of `readFailureMessage`.
enum class ReadFailure { None, Magic, ReadLong, ReadInt, ReadShort, ReadString, ReadWString };

const char* readFailureMessage(ReadFailure failure);

ReadFailure readLong(FileReader& file, std::int64_t& value);
ReadFailure readInt(FileReader& file, std::int32_t& value);
ReadFailure readShort(FileReader& file, std::int16_t& value);
// An int32 byte length, then that many bytes. Negative lengths, lengths beyond the end of
// the file and odd wide lengths are refused instead of being trusted.
ReadFailure readString(FileReader& file, std::string& value);
ReadFailure readWString(FileReader& file, WideString& value);

// A FileReader over bytes in memory, for tests and tools.
struct MemoryFile {
    std::string bytes;
    std::int64_t offset = 0;
};
FileReader memoryFileReader(MemoryFile& file);

}  // namespace tesmo
