// The version file "$ZQ.VRS": version, edition and AT-protocol version, three
// archive strings one after the other.
#pragma once

#include <string>

class ArchiveReader;
class ArchiveWriter;

class CVersionDoc {
public:
    bool LoadVersionFile(const std::string& directory);
    // False when the file cannot be opened or is malformed (short, a length
    // past its end, a wide-string marker); the members are then left empty.
    bool LoadFile(const std::string& path);
    void Serialize(ArchiveReader& ar);
    void Serialize(ArchiveWriter& ar) const;

    std::string m_VersionNumber;
    std::string m_EditionNumber;
    std::string m_PellardATPVersion;
};
