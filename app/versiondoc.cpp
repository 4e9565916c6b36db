#include "versiondoc.h"

#include "archive.h"
#include "debugtrace.h"

#include <vector>

bool CVersionDoc::LoadVersionFile(const std::string& directory)
{
    if (directory.empty())
        return false;
    std::string prefix = directory.back() == '/' ? directory : directory + "/";
    return LoadFile(prefix + "$ZQ.VRS");
}

bool CVersionDoc::LoadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes))
        return false;
    m_VersionNumber.clear();
    m_EditionNumber.clear();
    m_PellardATPVersion.clear();
    if (bytes.size() <= 2)
        return true;  // an installation may leave the strings empty
    try {
        ArchiveReader ar(bytes);
        CVersionDoc loaded;
        loaded.Serialize(ar);
        // The file holds the three strings and nothing else: bytes after
        // them mean some other file (or noise) took its name.
        if (!ar.AtEnd())
            throw ArchiveError("bytes after the three strings");
        *this = loaded;
        return true;
    } catch (const ArchiveError& e) {
        WriteDebug("CVersionDoc::LoadFile -> unreadable ", path, " : ", e.what());
        return false;
    }
}

void CVersionDoc::Serialize(ArchiveReader& ar)
{
    m_VersionNumber = ar.ReadString();
    m_EditionNumber = ar.ReadString();
    m_PellardATPVersion = ar.ReadString();
}

void CVersionDoc::Serialize(ArchiveWriter& ar) const
{
    ar.WriteString(m_VersionNumber);
    ar.WriteString(m_EditionNumber);
    ar.WriteString(m_PellardATPVersion);
}
