#include "archive.h"

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <random>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
constexpr uint32_t kMaxMapCount = 0x3FFFFFFEu;
// Objects nest only a few levels in the program's own files; a deeper chain
// is a damaged or hostile file and must not exhaust the stack.
constexpr int kMaxObjectDepth = 64;
}  // namespace

// ---- writer ---------------------------------------------------------------

void ArchiveWriter::WriteU8(uint8_t v) { bytes_.push_back(v); }

void ArchiveWriter::WriteU16(uint16_t v)
{
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void ArchiveWriter::WriteU32(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ArchiveWriter::WriteDouble(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    WriteU32(static_cast<uint32_t>(bits));
    WriteU32(static_cast<uint32_t>(bits >> 32));
}

void ArchiveWriter::WriteRaw(const void* data, size_t n)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
}

void ArchiveWriter::WriteString(const std::string& s)
{
    const size_t n = s.size();
    if (n > 0xFFFFFFFFu)
        throw ArchiveError("string too long for an archive");
    if (n < 0xFF) {
        WriteU8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(n));
    }
    WriteRaw(s.data(), n);
}

void ArchiveWriter::WriteCount(uint32_t n)
{
    if (n < 0xFFFF) {
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU16(0xFFFF);
        WriteU32(n);
    }
}

void ArchiveWriter::WriteDate(const ArchiveDate& d)
{
    WriteI32(d.status);
    WriteDouble(d.days);
}

void ArchiveWriter::WriteTag(uint32_t index, bool isClass)
{
    if (index < kBigObjectTag) {
        WriteU16(static_cast<uint16_t>(isClass ? (kClassTag | index) : index));
    } else {
        WriteU16(kBigObjectTag);
        WriteU32(isClass ? (kBigClassTag | index) : index);
    }
}

void ArchiveWriter::WriteObject(const ArchiveObject* obj)
{
    if (obj == nullptr) {
        WriteU16(0);
        return;
    }
    auto seen = objectIndex_.find(obj);
    if (seen != objectIndex_.end()) {
        WriteTag(seen->second, false);
        return;
    }
    const std::string name = obj->ArchiveClassName();
    auto cls = classIndex_.find(name);
    if (cls != classIndex_.end()) {
        WriteTag(cls->second, true);
    } else {
        if (name.size() > 0xFFFF)
            throw ArchiveError("class name too long");
        WriteU16(kNewClassTag);
        WriteU16(obj->ArchiveSchema());
        WriteU16(static_cast<uint16_t>(name.size()));
        WriteRaw(name.data(), name.size());
        classIndex_[name] = nextIndex_++;
    }
    objectIndex_[obj] = nextIndex_++;
    obj->Store(*this);
}

// ---- reader ---------------------------------------------------------------

void ArchiveReader::Need(size_t n) const
{
    if (n > size_ - pos_)
        throw ArchiveError("archive ends before its data");
}

uint8_t ArchiveReader::ReadU8()
{
    Need(1);
    return data_[pos_++];
}

uint16_t ArchiveReader::ReadU16()
{
    Need(2);
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

uint32_t ArchiveReader::ReadU32()
{
    Need(4);
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | data_[pos_ + i];
    pos_ += 4;
    return v;
}

double ArchiveReader::ReadDouble()
{
    uint64_t lo = ReadU32();
    uint64_t hi = ReadU32();
    uint64_t bits = lo | (hi << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void ArchiveReader::ReadRaw(void* out, size_t n)
{
    Need(n);
    if (n)
        std::memcpy(out, data_ + pos_, n);
    pos_ += n;
}

std::string ArchiveReader::ReadString()
{
    uint32_t n = ReadU8();
    if (n == 0xFF) {
        n = ReadU16();
        if (n == 0xFFFE)
            throw ArchiveError("wide-character strings are not supported");
        if (n == 0xFFFF)
            n = ReadU32();
    }
    Need(n);
    std::string s(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return s;
}

uint32_t ArchiveReader::ReadCount(uint32_t limit)
{
    uint32_t n = ReadU16();
    if (n == 0xFFFF)
        n = ReadU32();
    if (n > limit)
        throw ArchiveError("count out of range");
    return n;
}

ArchiveDate ArchiveReader::ReadDate()
{
    ArchiveDate d;
    d.status = ReadI32();
    d.days = ReadDouble();
    return d;
}

void ArchiveReader::RegisterClass(const std::string& name, Factory make)
{
    factories_[name] = std::move(make);
}

std::shared_ptr<ArchiveObject> ArchiveReader::ReadObject()
{
    uint16_t tag = ReadU16();
    if (tag == 0)
        return nullptr;

    std::string className;
    uint16_t schema = 0;
    if (tag == kNewClassTag) {
        schema = ReadU16();
        uint16_t len = ReadU16();
        Need(len);
        className.assign(reinterpret_cast<const char*>(data_ + pos_), len);
        pos_ += len;
        if (map_.size() >= kMaxMapCount)
            throw ArchiveError("too many objects in archive");
        Entry e;
        e.isClass = true;
        e.className = className;
        e.schema = schema;
        map_.push_back(e);
    } else {
        uint32_t obTag = (tag == kBigObjectTag)
                             ? ReadU32()
                             : ((static_cast<uint32_t>(tag & kClassTag) << 16) | (tag & 0x7FFF));
        uint32_t index = obTag & ~kBigClassTag;
        if (index == 0 || index >= map_.size())
            throw ArchiveError("object tag refers to nothing read yet");
        const Entry& e = map_[index];
        if (!(obTag & kBigClassTag)) {
            if (e.isClass)
                throw ArchiveError("object reference names a class");
            return e.object;
        }
        if (!e.isClass)
            throw ArchiveError("class tag names an object");
        className = e.className;
        schema = e.schema;
    }

    auto f = factories_.find(className);
    if (f == factories_.end())
        throw ArchiveError("unknown class in archive: " + className);
    std::shared_ptr<ArchiveObject> obj(f->second());
    if (map_.size() >= kMaxMapCount)
        throw ArchiveError("too many objects in archive");
    Entry oe;
    oe.object = obj;
    map_.push_back(oe);
    if (depth_ >= kMaxObjectDepth)
        throw ArchiveError("objects nested too deeply in archive");
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } guard(depth_);
    obj->Load(*this, schema);
    return obj;
}

// ---- files ----------------------------------------------------------------

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out)
{
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint8_t buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    ::close(fd);
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes)
{
    // The same steps as the engine's settings writer: a fresh file beside
    // the old one, created under the user's umask (0666 asks for no more) or
    // with the mode of the file it replaces, renamed over it once complete.
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device rd;
    std::mt19937 gen(rd());
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = path + ".tmp";
        for (int i = 0; i < 6; ++i)
            tmp += kLetters[pick(gen)];
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd, st.st_mode & 07777);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int saved = n == 0 ? ENOSPC : errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            errno = saved;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 || !synced) {
        if (synced)
            saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return false;
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(tmp.c_str());
        errno = saved;
        return false;
    }
    return true;
}
