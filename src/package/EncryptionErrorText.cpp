#include "package/EncryptionErrorText.h"

#include <array>
#include <string_view>

namespace dlu {

namespace {

struct NoticeLine {
    std::string_view korean;
    std::string_view english;
};

constexpr std::array kLines = {
    NoticeLine{"<암호화 파일 키 컨테이너(KeyContainer) 생성 실패>",
               "<Cryptographic Key Container file creation has failed>"},
    NoticeLine{"사용자의 키 컨테이너 Open이 되지 않아 키 생성에 실패하였습니다.",
               "It has failed to generate the key because Key Container of the user is not "
               "open."},
    NoticeLine{"다음 내용을 확인후 적절한 조치를 취해 주십시오.",
               "Please take the appropriate measures after checking the following "
               "information."},
    NoticeLine{"1. Guest 사용자로 실행 - > 관리자 또는 표준 사용자로 로그인",
               "1. If logged in as a Guest User -> Login as Administrator or Standard user."},
    NoticeLine{"2. 사용자 패스워드 변경 후 비정상 종료 -> 사용자 키 삭제 후 재부팅",
               "2. Terminate abnormally after changing the user password -> Reboot OS after "
               "removing the user key."},
    NoticeLine{"  정상적인 사용을 위해서는 다음 경로의 RSA 폴더의 삭제가 필요합니다.",
               "  For normal use, it is necessary to delete the RSA folder on the following "
               "path."},
    NoticeLine{"  C:\\Users->사용자ID->AppData\\Roaming\\Microsoft\\Crypto\\RSA",
               "  C:\\Users->User ID->AppData\\Roaming\\Microsoft\\Crypto\\RSA"},
    NoticeLine{"  * RSA 키 삭제시 발생할 수 있는 문제에 대해서는 충분히 검토해 주십시오.",
               "  * The problems that can occur when deleting an RSA key should be fully "
               "reviewed."},
    NoticeLine{"  * 필요에 따라 삭제 전 해당 파일을 백업을 진행해 주십시오.",
               "  * Before deleting the file, please back up the file as needed."},
    NoticeLine{"<VER6.10 이상에서는 사용자 키 컨테이너를 활용한 암호화를 사용합니다.>",
               "<In version 6.10 or later, encryption by User Key Container is used.>"},
};

} // namespace

static_assert(kLines.size() == kEncryptionErrorLines);

std::string_view encryptionErrorLine(Language language, std::size_t index) {
    if (index >= kLines.size()) {
        return {};
    }
    return language == Language::Korean ? kLines[index].korean : kLines[index].english;
}

std::string encryptionErrorText(Language language) {
    std::string text = "Encryption Error\n";
    for (const NoticeLine& line : kLines) {
        text += '\n';
        text += language == Language::Korean ? line.korean : line.english;
    }
    return text;
}

} // namespace dlu
