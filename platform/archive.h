// Reader and writer of the class library's archive byte layout.
//
// The layout is little-endian throughout. Strings carry a length prefix of
// one byte (below 255), or 0xFF and a 16-bit length (below 0xFFFE), or 0xFF,
// 0xFFFF and a 32-bit length. Counts are 16-bit, or 0xFFFF and a 32-bit value.
// Objects are written with a class tag: a new class as 0xFFFF, its schema,
// a 16-bit name length and the name; a known class as 0x8000 | its index;
// an object written before as its index; a null object as 0. Classes and
// objects share one index space counted from 1. Indexes that do not fit a
// 16-bit tag use the big tag 0x7FFF followed by a 32-bit value.
//
// The reader checks every length against what is left of the input: a short
// or malformed input throws ArchiveError, it never reads past the end.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ArchiveReader;
class ArchiveWriter;

// A date-time as the class library stores it: a status (0 valid, 1 invalid,
// 2 null) and the day count since 30 December 1899 (fraction = time of day).
struct ArchiveDate {
    int32_t status = 0;
    double days = 0.0;
};

// An object that can go through an archive with its class tag.
class ArchiveObject {
public:
    virtual ~ArchiveObject() = default;
    virtual const char* ArchiveClassName() const = 0;
    virtual uint16_t ArchiveSchema() const { return 1; }
    virtual void Store(ArchiveWriter& ar) const = 0;
    virtual void Load(ArchiveReader& ar, uint16_t schema) = 0;
};

class ArchiveWriter {
public:
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

    void WriteU8(uint8_t v);
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteI16(int16_t v) { WriteU16(static_cast<uint16_t>(v)); }
    void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
    void WriteDouble(double v);
    void WriteString(const std::string& s);
    void WriteCount(uint32_t n);
    void WriteDate(const ArchiveDate& d);
    void WriteRaw(const void* data, size_t n);
    // Writes a class-tagged object; an object written before becomes a
    // reference to its first copy; null writes the null tag.
    void WriteObject(const ArchiveObject* obj);

private:
    void WriteTag(uint32_t index, bool isClass);
    std::vector<uint8_t> bytes_;
    std::map<std::string, uint32_t> classIndex_;
    std::map<const ArchiveObject*, uint32_t> objectIndex_;
    uint32_t nextIndex_ = 1;
};

class ArchiveReader {
public:
    using Factory = std::function<std::unique_ptr<ArchiveObject>()>;

    ArchiveReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ArchiveReader(const std::vector<uint8_t>& v) : ArchiveReader(v.data(), v.size()) {}
    // The reader does not own its bytes: a temporary would be gone at once.
    explicit ArchiveReader(std::vector<uint8_t>&&) = delete;

    size_t Remaining() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ == size_; }

    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    int16_t ReadI16() { return static_cast<int16_t>(ReadU16()); }
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    double ReadDouble();
    std::string ReadString();
    // A count; `limit` bounds what the caller is willing to allocate.
    uint32_t ReadCount(uint32_t limit = 1u << 20);
    ArchiveDate ReadDate();
    void ReadRaw(void* out, size_t n);

    // Classes that ReadObject may create, by their archived name.
    void RegisterClass(const std::string& name, Factory make);
    // Reads a class-tagged object. Returns null for the null tag. An object
    // read before is returned again as a shared pointer to the same object.
    std::shared_ptr<ArchiveObject> ReadObject();

private:
    void Need(size_t n) const;
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::map<std::string, Factory> factories_;
    struct Entry {
        bool isClass = false;
        std::string className;
        uint16_t schema = 0;
        std::shared_ptr<ArchiveObject> object;
    };
    std::vector<Entry> map_{Entry{}};  // index 0 is the null entry
    int depth_ = 0;                     // objects being loaded inside each other
};

// Whole-file helpers. ReadWholeFile returns false when the file cannot be
// read; WriteFileAtomically writes a temporary file and renames it over the
// old one (whose mode it keeps; a new file gets 0666 less the umask). On
// failure it returns false with errno set and the old file untouched.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out);
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);
