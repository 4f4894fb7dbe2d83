#include "common/MessageIds.h"
#include "common/StringTable.h"
#include "devmem/gui/CCpuTypeDialog.h"
#include "devmem/gui/CLinuxCpuTypeDialog.h"
#include "package/gui/CEncryptionMsgDlg.h"
#include "support/ScriptedPrompter.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace dlu {
namespace {

using MakeDialog = std::function<std::unique_ptr<CpuTypeSheet>(const Messages&, Prompter&)>;

const MakeDialog kNormal = [](const Messages& m, Prompter& p) {
    return std::make_unique<CCpuTypeDialog>(m, p);
};
const MakeDialog kLinux = [](const Messages& m, Prompter& p) {
    return std::make_unique<CLinuxCpuTypeDialog>(m, p);
};

TEST(CpuTypeDialogs, AButtonPressClosesWithItsCode) {
    struct Case {
        MakeDialog make;
        const char* button;
        CpuType code;
    };
    const Case cases[] = {{kNormal, "1062", 2}, {kNormal, "1094", 28}, {kNormal, "1068", 10},
                          {kLinux, "1085", 26}, {kLinux, "1088", 30},  {kLinux, "1095", 40}};
    const Messages english(Language::English);
    for (const Case& c : cases) {
        test::ScriptedPrompter prompter;
        auto dlg = c.make(english, prompter);
        EXPECT_EQ(dlg->cpuType(), kNoCpuType);
        auto* button = dlg->findChild<QPushButton*>(c.button);
        ASSERT_NE(button, nullptr) << c.button;
        button->click();
        EXPECT_EQ(dlg->result(), QDialog::Accepted) << c.button;
        EXPECT_EQ(dlg->cpuType(), c.code) << c.button;
        EXPECT_TRUE(prompter.shown().empty());
    }
}

// Enter without a choice keeps the dialog open and says so, in the language of the run; also
// when a model button has the focus, since Enter is the OK command, not a model press.
TEST(CpuTypeDialogs, EnterWithoutAChoiceShowsNotSelected) {
    for (const MakeDialog& make : {kNormal, kLinux}) {
        for (const Language lang : {Language::English, Language::Korean}) {
            const Messages messages(lang);
            test::ScriptedPrompter prompter;
            auto dlg = make(messages, prompter);
            dlg->show();
            QTest::keyClick(dlg.get(), Qt::Key_Return);
            auto* model = dlg->findChildren<QPushButton*>().front();
            model->setFocus();
            QTest::keyClick(model, Qt::Key_Enter);
            EXPECT_TRUE(dlg->isVisible());
            EXPECT_EQ(dlg->cpuType(), kNoCpuType);
            const std::string expected(
                stringTableEntry(Msg::CpuTypeNotSelected + messageIdOffset(lang)));
            EXPECT_EQ(prompter.texts(), (std::vector<std::string>{expected, expected}));
        }
    }
}

TEST(EncryptionMessageDialog, ShowsTheNoticeInTheLanguageOfTheRun) {
    struct Case {
        Language lang;
        const char* first;
        const char* ok;
    };
    const Case cases[] = {
        {Language::English, "<Cryptographic Key Container file creation has failed>", "OK(&O)"},
        {Language::Korean, "<암호화 파일 키 컨테이너(KeyContainer) 생성 실패>", "확인(&O)"},
    };
    for (const Case& c : cases) {
        const Messages messages(c.lang);
        CEncryptionMsgDlg dlg(messages);
        EXPECT_EQ(dlg.windowTitle(), "Encryption Error");
        EXPECT_EQ(dlg.findChild<QLabel*>("312")->text(), QString::fromUtf8(c.first));
        ASSERT_NE(dlg.findChild<QLabel*>("321"), nullptr);
        EXPECT_EQ(dlg.findChild<QPushButton*>("1")->text(), QString::fromUtf8(c.ok));
    }
}

} // namespace
} // namespace dlu
