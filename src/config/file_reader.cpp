#include "config/file_reader.h"

#include <cstring>

#include "core/log.h"

namespace tesmo {

const char* readFailureMessage(ReadFailure failure) {
    switch (failure) {
        case ReadFailure::Magic:
            return "Internal Error: magic";
        case ReadFailure::ReadLong:
            return "Internal Error: readLong";
        case ReadFailure::ReadInt:
            return "Internal Error: readInt";
        case ReadFailure::ReadShort:
            return "Internal Error: readShort";
        case ReadFailure::ReadString:
            return "Internal Error: readString";
        case ReadFailure::ReadWString:
            return "Internal Error: readWString";
        case ReadFailure::None:
            break;
    }
    return "";
}

namespace {

// One read of exactly `size` bytes; reports what the read delivered.
bool readExactly(FileReader& file, void* buffer, std::uint32_t size, std::uint32_t& delivered,
                 std::uint32_t& error) {
    delivered = 0;
    error = 0;
    bool ok = file.read(file.context, buffer, size, &delivered, &error);
    return ok && delivered == size;
}

std::int64_t remainingBytes(FileReader& file) {
    std::int64_t left = file.size(file.context) - file.position(file.context);
    return left < 0 ? 0 : left;
}

template <typename T>
T littleEndian(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;) value = (value << 8) | bytes[i];
    return static_cast<T>(value);
}

// Reads an int32 byte length and the bytes behind it. The length is checked against
// what the file still holds before anything is allocated.
bool readCounted(FileReader& file, std::string& bytes, bool wide) {
    std::int32_t length = 0;
    unsigned char raw[4];
    std::uint32_t delivered, error;
    if (!readExactly(file, raw, 4, delivered, error)) return false;
    length = littleEndian<std::int32_t>(raw);
    if (length < 0 || (wide && length % 2 != 0) || length > remainingBytes(file)) return false;
    bytes.assign(static_cast<std::size_t>(length), '\0');
    if (length == 0) return true;
    return readExactly(file, bytes.data(), static_cast<std::uint32_t>(length), delivered, error);
}

}  // namespace

ReadFailure readLong(FileReader& file, std::int64_t& value) {
    unsigned char raw[8];
    std::uint32_t delivered, error;
    if (!readExactly(file, raw, 8, delivered, error)) {
        logMessage("error %d\n", static_cast<int>(error));
        return ReadFailure::ReadLong;
    }
    value = littleEndian<std::int64_t>(raw);
    return ReadFailure::None;
}

ReadFailure readInt(FileReader& file, std::int32_t& value) {
    unsigned char raw[4];
    std::uint32_t delivered, error;
    if (!readExactly(file, raw, 4, delivered, error)) {
        logMessage("error %d %d\n", static_cast<int>(error), static_cast<int>(delivered));
        return ReadFailure::ReadInt;
    }
    value = littleEndian<std::int32_t>(raw);
    return ReadFailure::None;
}

ReadFailure readShort(FileReader& file, std::int16_t& value) {
    unsigned char raw[2];
    std::uint32_t delivered, error;
    if (!readExactly(file, raw, 2, delivered, error)) {
        logMessage("error %d\n", static_cast<int>(error));
        return ReadFailure::ReadShort;
    }
    value = littleEndian<std::int16_t>(raw);
    return ReadFailure::None;
}

ReadFailure readString(FileReader& file, std::string& value) {
    return readCounted(file, value, false) ? ReadFailure::None : ReadFailure::ReadString;
}

ReadFailure readWString(FileReader& file, WideString& value) {
    std::string bytes;
    if (!readCounted(file, bytes, true)) return ReadFailure::ReadWString;
    value.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < value.size(); ++i) {
        value[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return ReadFailure::None;
}

namespace {

bool memoryRead(void* context, void* buffer, std::uint32_t size, std::uint32_t* delivered,
                std::uint32_t* error) {
    MemoryFile& file = *static_cast<MemoryFile*>(context);
    std::int64_t available = static_cast<std::int64_t>(file.bytes.size()) - file.offset;
    if (available < 0) available = 0;
    std::uint32_t count = available < size ? static_cast<std::uint32_t>(available) : size;
    if (count > 0) std::memcpy(buffer, file.bytes.data() + file.offset, count);
    file.offset += count;
    *delivered = count;
    *error = 0;
    // Like ReadFile at the end of a file: success with fewer bytes.
    return true;
}

bool memorySeek(void* context, std::int64_t position) {
    if (position < 0) return false;
    static_cast<MemoryFile*>(context)->offset = position;
    return true;
}

std::int64_t memoryPosition(void* context) {
    return static_cast<MemoryFile*>(context)->offset;
}

std::int64_t memorySize(void* context) {
    return static_cast<std::int64_t>(static_cast<MemoryFile*>(context)->bytes.size());
}

}  // namespace

FileReader memoryFileReader(MemoryFile& file) {
    return FileReader{&file, memoryRead, memorySeek, memoryPosition, memorySize};
}

}  // namespace tesmo
