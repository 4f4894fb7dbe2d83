#include "package/PackageReading.h"

#include "package/FileIo.h"
#include "plc/CpuTypeTable.h"

namespace dlu {

std::optional<PackageContents> readPackage(const std::string& packagePath, CFileControl& reader,
                                           CFileEncryption& encryption) {
    if (!reader.Open(packagePath, encryption)) {
        return std::nullopt;
    }
    PackageContents contents;
    // Each decrypted file goes as soon as it has been read.
    const std::string infoPath = reader.UnpackFolder() + reader.ProjectInfoFileName();
    contents.info = readProjectInfo(infoPath);
    fileio::removeFile(infoPath);
    if (CpuTypeTable::hasStPrograms(contents.info.cpuType())) {
        contents.st.build(reader.StFolder());
    }
    contents.projectSize = reader.ProjectSize();
    reader.Close();
    return contents;
}

} // namespace dlu
