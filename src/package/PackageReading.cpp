#include "package/PackageReading.h"

#include "plc/CpuTypeTable.h"

namespace dlu {

std::optional<PackageContents> readPackage(const std::string& packagePath, CFileControl& reader,
                                           CFileEncryption& encryption) {
    if (!reader.Open(packagePath, encryption)) {
        return std::nullopt;
    }
    PackageContents contents;
    contents.info = readProjectInfo(reader.UnpackFolder() + reader.ProjectInfoFileName());
    if (CpuTypeTable::isLinuxProject(contents.info.cpuType())) {
        contents.st.build(reader.StFolder());
    }
    contents.projectSize = reader.ProjectSize();
    reader.Close();
    return contents;
}

} // namespace dlu
