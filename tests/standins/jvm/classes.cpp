#include "classes.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <iterator>
#include <map>

#include "../standin_io.h"

namespace standin::jvm {
namespace {

// Every read is checked against the end: a truncated or damaged file reads as no class.
class Reader {
  public:
    Reader(const std::string& bytes, std::size_t at = 0) : bytes_(bytes), at_(at) {}
    bool ok() const { return ok_; }
    std::size_t at() const { return at_; }
    void seek(std::size_t at) { at_ = at; }
    std::uint32_t u1() { return take(1); }
    std::uint32_t u2() { return take(2); }
    // Class files are big-endian, zip archives little-endian.
    std::uint32_t le2() { return swap(take(2), 2); }
    std::uint32_t le4() { return swap(take(4), 4); }
    std::uint32_t u4() { return take(4); }
    std::string text(std::size_t length) {
        if (!fits(length)) return {};
        std::string result = bytes_.substr(at_, length);
        at_ += length;
        return result;
    }
    void skip(std::size_t length) {
        if (fits(length)) at_ += length;
    }

  private:
    bool fits(std::size_t length) {
        if (at_ > bytes_.size() || bytes_.size() - at_ < length) ok_ = false;
        return ok_;
    }
    std::uint32_t take(int length) {
        if (!fits(static_cast<std::size_t>(length))) return 0;
        std::uint32_t value = 0;
        for (int i = 0; i < length; ++i) value = (value << 8) | std::uint8_t(bytes_[at_++]);
        return value;
    }
    static std::uint32_t swap(std::uint32_t value, int length) {
        std::uint32_t result = 0;
        for (int i = 0; i < length; ++i, value >>= 8) result = (result << 8) | (value & 0xFF);
        return result;
    }

    const std::string& bytes_;
    std::size_t at_;
    bool ok_ = true;
};

// The bytes after the tag of each kind of constant; 0 for tags that do not exist, Utf8 aside.
constexpr std::uint8_t kConstantSizes[] = {0, 0, 0, 4, 4, 8, 8, 2, 2, 4, 4,
                                           4, 4, 0, 0, 3, 2, 4, 4, 2, 2};

std::optional<std::vector<MethodInfo>> parseMethods(const std::string& bytes) {
    Reader in(bytes);
    if (in.u4() != 0xCAFEBABE) return std::nullopt;
    in.skip(4);
    std::uint32_t count = in.u2();
    std::map<std::uint32_t, std::string> utf8;
    for (std::uint32_t index = 1; index < count && in.ok(); ++index) {
        std::uint32_t tag = in.u1();
        if (tag == 1) {
            utf8[index] = in.text(in.u2());
            continue;
        }
        if (tag >= std::size(kConstantSizes) || kConstantSizes[tag] == 0) return std::nullopt;
        in.skip(kConstantSizes[tag]);
        // Long and Double take two entries of the pool.
        if (tag == 5 || tag == 6) ++index;
    }
    in.skip(6);
    in.skip(2 * in.u2());
    std::vector<MethodInfo> methods;
    for (int table = 0; table < 2 && in.ok(); ++table) {
        std::uint32_t members = in.u2();
        for (std::uint32_t i = 0; i < members && in.ok(); ++i) {
            MethodInfo member;
            member.access = static_cast<std::uint16_t>(in.u2());
            member.name = utf8[in.u2()];
            member.descriptor = utf8[in.u2()];
            std::uint32_t attributes = in.u2();
            for (std::uint32_t a = 0; a < attributes && in.ok(); ++a) {
                in.skip(2);
                in.skip(in.u4());
            }
            if (table == 1) methods.push_back(std::move(member));
        }
    }
    if (!in.ok()) return std::nullopt;
    return methods;
}

std::optional<std::string> inflateRaw(const std::string& compressed, std::uint32_t size) {
    std::string out(size, '\0');
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = size;
    int result = inflate(&stream, Z_FINISH);
    bool complete = result == Z_STREAM_END && stream.total_out == size;
    inflateEnd(&stream);
    if (!complete) return std::nullopt;
    return out;
}

// One entry of an archive, through its central directory. Data before the archive is
// allowed, as for a jar appended to an executable.
std::optional<std::string> readMember(const std::string& zip, std::string_view name,
                                      std::string& problem) {
    std::size_t end = zip.size() < 22 ? std::string::npos : zip.rfind("PK\x05\x06");
    if (end == std::string::npos || zip.size() - end < 22) {
        problem = "not a readable archive";
        return std::nullopt;
    }
    Reader record(zip, end + 10);
    std::uint32_t entries = record.le2();
    std::uint32_t centralSize = record.le4();
    std::uint32_t centralOffset = record.le4();
    if (centralSize > end || end - centralSize < centralOffset) {
        problem = "not a readable archive";
        return std::nullopt;
    }
    std::size_t start = end - centralSize - centralOffset;
    Reader central(zip, end - centralSize);
    for (std::uint32_t i = 0; i < entries && central.ok(); ++i) {
        if (central.le4() != 0x02014b50) break;
        central.skip(6);
        std::uint32_t method = central.le2();
        central.skip(8);
        std::uint32_t compressedSize = central.le4();
        std::uint32_t size = central.le4();
        std::uint32_t nameLength = central.le2();
        std::uint32_t extraLength = central.le2();
        std::uint32_t commentLength = central.le2();
        central.skip(8);
        std::uint32_t localOffset = central.le4();
        std::string entryName = central.text(nameLength);
        central.skip(extraLength + commentLength);
        if (entryName != name) continue;
        Reader local(zip, start + localOffset + 26);
        std::uint32_t skipped = local.le2() + local.le2();
        local.skip(skipped);
        std::string data = local.text(compressedSize);
        if (!local.ok()) break;
        if (method == 0 && compressedSize == size) return data;
        if (method == 8) {
            if (auto inflated = inflateRaw(data, size)) return inflated;
        }
        problem = std::string(name) + ": cannot be read";
        return std::nullopt;
    }
    if (!central.ok()) problem = "not a readable archive";
    return std::nullopt;
}

}  // namespace

ClassSearch findClass(const std::vector<std::wstring>& classPath, std::string_view internalName) {
    ClassSearch search;
    std::string fileName = std::string(internalName) + ".class";
    for (const auto& entry : classPath) {
        DWORD attributes = GetFileAttributesW(entry.c_str());
        std::optional<std::string> bytes;
        std::string problem;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            int size = MultiByteToWideChar(CP_UTF8, 0, fileName.data(),
                                           static_cast<int>(fileName.size()), nullptr, 0);
            std::wstring relative(static_cast<std::size_t>(size), L'\0');
            MultiByteToWideChar(CP_UTF8, 0, fileName.data(), static_cast<int>(fileName.size()),
                                relative.data(), size);
            std::replace(relative.begin(), relative.end(), L'/', L'\\');
            bool separated = entry.ends_with(L'\\') || entry.ends_with(L'/');
            bytes = standin::readFile(entry + (separated ? L"" : L"\\") + relative);
        } else if (auto archive = standin::readFile(entry)) {
            bytes = readMember(*archive, fileName, problem);
        } else {
            problem = "not found";
        }
        if (!problem.empty()) search.problems.emplace_back(entry, problem);
        if (!bytes) continue;
        if (auto methods = parseMethods(*bytes)) {
            search.found = ClassFound{entry, std::move(*methods)};
            return search;
        }
        search.problems.emplace_back(entry, fileName + ": no class file");
    }
    return search;
}

}  // namespace standin::jvm
