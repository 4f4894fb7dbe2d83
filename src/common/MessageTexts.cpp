// The texts of the string table. Korean text of message N at id N (400 to 698), the English
// text of the same message at id N + 300 (700 to 998). All texts are UTF-8; "\n" is a line
// break inside a message box, and printf conversions are filled in by the caller.
// Keep the array sorted by id: lookups use binary search.

#include "common/StringTable.h"

#include <algorithm>
#include <iterator>

#include <array>

namespace dlu {

namespace {

constexpr StringEntry kEntries[] = {
    // ---- Korean -------------------------------------------------------------------------

    // Main dialog messages.
    StringEntry{400, "다운로드 파일 오류입니다."},
    StringEntry{401, "다운로드 파일이 없습니다.\n\"파일 선택...\"에서 설정해 주십시요."},
    StringEntry{402, "접속 설정이 없습니다.\n\"접속 선택...\"에서 설정해 주십시요."},
    StringEntry{403, "PLC 접속에 실패하였습니다.\n접속 설정 및 PLC 접속 상태를 확인 후 다시 "
                     "시도해 주십시요."},
    StringEntry{404, "다운로드 중입니다. 잠시만 기다려 주십시요..."},
    StringEntry{405, "PLC와 통신 중입니다.\n통신이 끝나면 프로그램을 종료하시겠습니까?"},

    // Program list column titles.
    StringEntry{450, "No."},
    StringEntry{451, "PID"},
    StringEntry{452, "프로그램 이름"},
    StringEntry{453, "프로그램 타입"},

    // Connection type names, indexed by connection type 0 to 5.
    StringEntry{470, "Serial Port"},
    StringEntry{471, "Dial-up Modem"},
    StringEntry{472, "전용선 모뎀"},
    StringEntry{473, "Ethernet"},
    StringEntry{474, "PLC Simulator"},
    StringEntry{475, "USB port"},

    // Connection display labels.
    StringEntry{480, "접속 방식 : "},
    StringEntry{481, "통신포트 : "},
    StringEntry{482, "IP 주소 : "},

    // Main dialog control labels.
    StringEntry{503, "파일 선택...(&F)"},
    StringEntry{504, "접속 선택...(&S)"},
    StringEntry{505, "다운로드(&D)"},
    StringEntry{506, "초기화(&I)"},
    StringEntry{507, "도움말(&H)"},
    StringEntry{509, "프로젝트 정보..."},
    StringEntry{510, "프로젝트명 :"},
    StringEntry{511, "프로젝트 사이즈 :"},
    StringEntry{512, "프로그램 파일수 :"},
    StringEntry{513, "프로그램 정보..."},

    // Linux device image: the blocks of an incomplete backup, kept under a name of their own.
    StringEntry{530, "도착한 블록은 다음 파일에 따로 보관하였습니다.\n%s\n%s 파일은 바뀌지 "
                     "않았습니다."},
    // A save target that is not a regular file (a device, a pipe, a link, a folder).
    StringEntry{531, "%s\n이 이름은 일반 파일이 아닙니다(%s). 다른 이름을 선택하십시오."},
    // Device memory files: a ".PDM" longer than a device memory file, and the Linux device
    // image (its size before it replaces the PLC's image, and what its read-back found).
    StringEntry{545, "%s\n이 부분만 불러오시겠습니까?"},
    StringEntry{546, "PLC의 이미지는 %s, 파일은 %s입니다."},
    StringEntry{547, "이미지의 워드 %llu(바이트 %llu)가 파일과 다릅니다."},
    StringEntry{548, "파일 크기는 %s로 디바이스 메모리 파일(%s)보다 깁니다. 앞의 %s만 디바이스 "
                     "메모리입니다."},
    StringEntry{549, "파일 크기는 %s입니다. PLC의 이미지가 이 파일로 바뀝니다.\n계속하시겠습니까?"},

    // Device memory dialogs, progress window and viewer.
    StringEntry{550, "업로드 중 오류가 발생하였습니다."},
    StringEntry{551, "디바이스 메모리 업로드(CPU->파일)"},
    StringEntry{552, "디바이스 메모리 다운로드(파일->CPU)"},
    StringEntry{553, "다운로드"},
    StringEntry{554, "파일 데이터 읽기가 완료되었습니다."},
    StringEntry{555, "모든 데이터를 삭제하도록 설정합니다.\n계속하시겠습니까?"},
    StringEntry{556, "설정을 삭제한 후 최대 범위로 설정합니다.\n실행하시겠습니까?"},
    StringEntry{557, "기존 데이터가 삭제됩니다.\n실행하시겠습니까?"},
    StringEntry{558, "최대 주소를 설정하려면 시작 주소와 끝 주소에 같은 값을 입력하십시오."},
    StringEntry{559, "주소가 최대 범위로 변경되었습니다."},
    StringEntry{560, "파일 읽기가 완료되었습니다."},
    StringEntry{561, "오류: 시작 주소가 끝 주소보다 큽니다."},
    StringEntry{562, "범위는 0부터 %d까지입니다."},
    StringEntry{563, "파일 경로가 없습니다.\n저장할 파일 이름을 입력하십시오."},
    StringEntry{564, "데이터가 없습니다.\n디바이스 메모리를 먼저 읽어 오십시오."},
    StringEntry{565, "데이터 저장이 완료되었습니다."},
    StringEntry{566, "디바이스 메모리 파일이 없습니다.\n확인하십시오."},
    StringEntry{567, "다운로드 요청을 완료하였습니다.\n오류가 발생하면 화면에 메시지가 "
                     "표시됩니다."},
    // A restore write the PLC never confirmed; the rest of the restore is not sent.
    StringEntry{568, "%s 쓰기를 PLC가 확인하지 않았습니다.\n다운로드를 중단하였으며 나머지 "
                     "데이터는 전송되지 않았습니다."},
    StringEntry{569, "업로드가 끝나면 파일이 자동으로 저장됩니다."},
    StringEntry{570, "디바이스 다운로드>"},
    StringEntry{571, " ~ %dWord 다운로드 중...."},
    StringEntry{572, "디바이스 업로드>"},
    StringEntry{573, " 업로드 중...(100Word)"},
    StringEntry{574, "모든 디바이스의 값을 삭제합니다.\n저장하지 않은 값은 지워집니다.\n\n삭제 후 "
                     "\"편집 데이터 적용\" 버튼을 눌러야 적용됩니다."},
    StringEntry{575, "현재 디바이스의 값을 삭제합니다.\n저장하지 않은 값은 지워집니다.\n\n삭제 후 "
                     "\"편집 데이터 적용\" 버튼을 눌러야 적용됩니다."},
    StringEntry{576, "마지막으로 저장한 값으로 되돌립니다.\n저장하지 않은 값은 지워집니다."},
    // Device memory file problems the format itself cannot report.
    StringEntry{577,
                "디바이스 메모리 파일이 손상되었거나 완전하지 않습니다.\n파일을 확인해 주십시오."},
    StringEntry{578, "CPU 타입이 선택되지 않았습니다. CPU를 선택하십시오."},
    StringEntry{579, "파일을 저장하지 못했습니다.\n이전 파일은 그대로 남아 있습니다."},
    StringEntry{580, "No."},
    StringEntry{581, "디바이스"},
    StringEntry{582, "변수"},
    StringEntry{583, "DEC"},
    StringEntry{584, "HEX"},
    // Linux device image: blocks that never arrived, and a file that cannot be sent.
    StringEntry{585, "블록 %d개가 도착하지 않았습니다(전체 %d개).\n이 파일은 완전하지 않으므로 "
                     "복원에 사용하지 마십시오."},
    StringEntry{586, "디바이스 이미지 파일이 비어 있거나 너무 큽니다.\n전송할 데이터가 "
                     "없습니다."},
    // Reading the words back after a restore.
    StringEntry{587, "복원 후 확인"},
    StringEntry{588, "%llu워드를 확인하였습니다."},
    StringEntry{589, "%s: PLC에는 %u (0x%04X), 파일에는 %u (0x%04X)"},
    // Device memory viewer and progress window: CSV, comparison and stopping a transfer.
    StringEntry{590, "CSV 내보내기..."},
    StringEntry{591, "CSV 가져오기..."},
    StringEntry{592, "파일과 비교..."},
    StringEntry{593, "백업을 취소하였습니다.\n파일은 변경되지 않았습니다."},
    StringEntry{594, "복원을 중단하시겠습니까?\n이미 쓴 값은 PLC에 그대로 남습니다."},
    StringEntry{595, "복원을 중단하였습니다.\n이미 쓴 값은 PLC에 그대로 남습니다."},
    StringEntry{596, "선택한 파일과 값이 다른 워드: %d개"},
    StringEntry{597, "CSV 파일을 가져오지 못했습니다.\n%s"},
    StringEntry{598, "취소"},
    StringEntry{599, "확인 실패: 워드 %llu개가 다릅니다(전체 %llu워드)."},

    // Communication, connect and password messages.
    StringEntry{600, "암호가 맞지 않습니다."},
    StringEntry{601, "COM 포트를 열 수 없습니다.\n다른 응용 프로그램이 포트를 사용하고 있는지 "
                     "확인하십시오."},
    StringEntry{602, "CPU로부터 에러 코드를 수신하였습니다."},
    StringEntry{604, "CPU 접속이 끊어졌습니다."},
    StringEntry{605, "암호가 맞지 않습니다.\n입력한 암호가 CPU의 암호와 일치하지 않습니다."},
    StringEntry{607, "다이얼업 모뎀을 초기화하지 못했습니다."},
    StringEntry{608, "다이얼업 모뎀 연결에 실패하였습니다."},
    StringEntry{609, "다이얼업 모뎀이 연결되었습니다."},
    StringEntry{610, "연결 중..."},
    StringEntry{611, "모뎀 초기화 중..."},
    StringEntry{612, "PLC로부터 수신한 프레임에 오류가 있습니다."},
    StringEntry{613, "이더넷으로 PLC에 접속하였습니다."},
    StringEntry{614, "모뎀으로 PLC에 접속하였습니다."},
    StringEntry{615, "접속한 PLC의 CPU 타입을 식별할 수 없습니다."},
    StringEntry{616, "PLC와 프로젝트의 CPU 타입이 일치하지 않습니다.\nCPU 타입마다 메모리 용량이 "
                     "다르므로 주의하십시오."},
    StringEntry{617, "프로젝트의 CPU 타입이 접속한 PLC와 일치하지 않습니다.\n프로젝트 속성에서 "
                     "CPU 타입을 확인하십시오."},

    // PLC error texts: id 617 + PLC error code 1 to 20.
    StringEntry{618, "ERR (1) : 알 수 없는 OP 코드"},
    StringEntry{619, "ERR(2) : CRC 오류"},
    StringEntry{620, "ERR(3) : 잘못된 CPU 모드"},
    StringEntry{621, "ERR(4) : 데이터 크기 초과"},
    StringEntry{622, "ERR(5) : 검색 실패"},
    StringEntry{623, "ERR(6) : 모니터 크기 초과"},
    StringEntry{624, "ERR(7) : 알 수 없는 모니터 프레임 번호"},
    StringEntry{625, "ERR(8) : 등록되지 않은 프레임 번호"},
    StringEntry{626, "ERR(9) : 잘못된 값"},
    StringEntry{627, "ERR(10) : 잘못된 데이터 크기"},
    StringEntry{628, "ERR(11) : 수신 시간 초과"},
    StringEntry{629, "ERR(12) : 잘못된 CPU 모드"},
    StringEntry{630, "ERR(13) : FROM / TO 명령 오류"},
    StringEntry{631, "ERR(14) : 명령 실행 실패"},
    StringEntry{632, "ERR(15) : 사용 중"},
    StringEntry{633, "ERR(16) : 설치되지 않은 증설 모듈의 정보 읽기 시도"},
    StringEntry{634, "ERR(17) : 온라인 편집 실행 실패"},
    StringEntry{635, "ERR(18) : CPU 응답 없음"},
    StringEntry{636, "ERR(19) : 시스템 데이터 오류 (결과 데이터)"},
    StringEntry{637, "ERR(20) : 지원하지 않는 명령"},

    // Program kind names: id 643 + program kind 1 to 7.
    StringEntry{644, "스캔 프로그램"},
    StringEntry{645, "서브루틴 프로그램"},
    StringEntry{646, "초기화 프로그램 (COLD)"},
    StringEntry{647, "초기화 프로그램 (HOT)"},
    StringEntry{648, "정주기 인터럽트"},
    StringEntry{649, "특수프로그램"},
    StringEntry{650, "SFC프로그램"},

    // Download engine, CPU mode and encryption messages.
    StringEntry{651, "다운로드가 완료되었습니다."},
    StringEntry{652, "COM 라이브러리 모듈을 초기화하지 못했습니다.\n다른 프로그램이 포트를 "
                     "사용하고 있는지 확인하십시오."},
    StringEntry{653, "파라미터 파일의 크기가 PLC의 저장용량을 초과합니다.\n 다시 컴파일 하십시오."},
    StringEntry{656, "PRM 파일을 찾을수 없습니다.\n다시 컴파일하여 주십시요."},
    StringEntry{657, "BIN 파일을 찾을 수 없습니다.\n다시 컴파일 하여 주십시요."},
    StringEntry{661,
                "현재의 CPU 모드는 프로그램 다운로드 작업이 가능한 상태가 아닙니다.\nCPU 모드를 "
                "변경하십시오."},
    StringEntry{662, "현재의 CPU 모드는 프로그램 다운로드 작업이 가능한 상태가 아닙니다.\n"
                     "\"Remote-STOP\" 상태로 전환하시겠습니까?\n\n(모드전환시의 위험요소를 반드시 "
                     "확인하십시오.)"},
    StringEntry{663,
                "CPU 모드를 \"Remote-RUN\" 상태로 전환하시겠습니까?\n\n(모드전환시의 위험요소를 "
                "반드시 확인하십시오.)"},
    // text not given; written from its use
    StringEntry{664, "CPU 모드 전환에 실패하였습니다."},
    StringEntry{665, "통신 케이블 이상이 감지되었습니다.\n케이블의 RX, TX 라인이 단락되어 있는지 "
                     "확인하십시오."},
    // CPU mode texts, appended to a message.
    StringEntry{667, "\n\n현재 CPU 모드 : LOCAL RUN"},
    StringEntry{668, "\n\n현재 CPU 모드 : LOCAL STOP"},
    StringEntry{669, "\n\n현재 CPU 모드 : LOCAL PAUSE"},
    StringEntry{670, "\n\n현재 CPU 모드 : REMOTE RUN"},
    StringEntry{671, "\n\n현재 CPU 모드 : REMOTE STOP"},
    StringEntry{672, "\n\n현재 CPU 모드 : REMOTE PAUSE"},
    StringEntry{673, "접속한 CPU의 모드를 ACTIVE로 변경하시겠습니까?"},
    StringEntry{674, "암호화 작업 중 오류가 발생하였습니다. (사용자 키 생성 실패)\n\n예: 자세한 "
                     "정보를 확인합니다.\n아니요: 취소합니다."},

    // Requests refused before they are sent, a download item too large for the protocol, a
    // restore range the file does not hold.
    StringEntry{675, "요청을 보내지 않았습니다: 로더 프로토콜의 한 프레임에 담을 수 있는 크기를 "
                     "넘습니다."},
    StringEntry{676, "요청을 보내지 않았습니다: 접속 설정의 재시도 횟수가 0입니다."},
    StringEntry{677, "요청을 보내지 않았습니다: 프로젝트의 CPU 타입에 이 디바이스의 주소가 "
                     "없습니다."},
    StringEntry{678, "파일이 너무 커서 다운로드할 수 없습니다 (65535 블록 초과): %s"},
    StringEntry{679, "%s%u ~ %u 은(는) 복원되지 않았습니다: 디바이스 메모리 파일에는 %s 워드가 %u "
                     "까지만 있습니다."},
    StringEntry{680, "패키지의 파일을 읽을 수 없어 더 이상 보내지 않았습니다: %s"},
    StringEntry{681, "이 CPU 타입 조합은 확인된 조합이 아닙니다.\n그래도 이 PLC로 계속하시겠습니까?"},

    // What the PLC holds after a download that did not finish, and a stopped download.
    StringEntry{682, "PLC는 STOP 상태이며 프로젝트의 일부만 가지고 있습니다 (%s 까지).\nRUN으로 "
                     "전환하기 전에 프로젝트를 다시 다운로드하십시오."},
    StringEntry{683, "PLC는 STOP 상태이며 프로젝트의 항목을 하나도 온전히 가지고 있지 "
                     "않습니다.\nRUN으로 전환하기 전에 프로젝트를 다시 다운로드하십시오."},
    StringEntry{684, "PLC는 STOP 상태이며 이전 프로젝트를 그대로 가지고 있습니다. 이 프로젝트는 "
                     "전송되지 않았습니다."},
    StringEntry{685, "다운로드를 중지했습니다."},

    // Link error names and download item names.
    StringEntry{686, "RS232 오류"},
    StringEntry{687, "다이얼업 오류"},
    StringEntry{688, "전용선 모뎀 오류"},
    StringEntry{689, "이더넷 오류"},
    StringEntry{690, "설명서를 열 프로그램이 없습니다.\n설명서 위치: %s"},
    StringEntry{691, "업로드(&U)"},
    StringEntry{692, "닫기(&L)"},
    StringEntry{693, "시뮬레이터 오류"},
    StringEntry{694, "PLC 오류"},
    StringEntry{695, "파라미터"},
    StringEntry{696, "프로그램 %03u"},

    // Main window: the button that opens the operation record.
    StringEntry{697, "이력..."},

    // ST program kind name.
    StringEntry{698, "ST 프로그램"},

    // ---- English ------------------------------------------------------------------------

    // Main dialog messages.
    StringEntry{700, "Download File Error."},
    StringEntry{701, "Search file not selected."},
    StringEntry{702, "connection setup not configured."},
    StringEntry{703, "Failed to connect with the PLC."},
    StringEntry{704, "Downloading...Wait a moment, please...."},
    StringEntry{705,
                "A transfer with the PLC is running.\nClose the program when it has finished?"},

    // Program list column titles.
    StringEntry{750, "No."},
    StringEntry{751, "PID"},
    StringEntry{752, "Program Name"},
    StringEntry{753, "Program Type"},

    // Connection type names, indexed by connection type 0 to 5.
    StringEntry{770, "Serial Port"},
    StringEntry{771, "Dial-up Modem"},
    StringEntry{772, "Leased Line Modem"},
    StringEntry{773, "Ethernet"},
    StringEntry{774, "PLC Simulator"},
    StringEntry{775, "USB port"},

    // Connection display labels.
    StringEntry{780, "Connection : "},
    StringEntry{781, "Port : "},
    StringEntry{782, "IP Address : "},

    // Main dialog control labels.
    StringEntry{803, "Search &File..."},
    StringEntry{804, "Connection &Setup..."},
    StringEntry{805, "&Download..."},
    StringEntry{806, "&Initialize"},
    StringEntry{807, "&Help"},
    StringEntry{809, "Project Information..."},
    StringEntry{810, "Project Name :"},
    StringEntry{811, "Project Size :"},
    StringEntry{812, "Program Count :"},
    StringEntry{813, "Program Files..."},

    // Linux device image kept apart, and a save target that is not a regular file.
    StringEntry{830, "The blocks that arrived were kept apart in\n%s\n%s was left as it was."},
    StringEntry{831, "%s\nThis name is not a regular file (%s). Choose another name."},
    StringEntry{845, "%s\nLoad only that part?"},
    StringEntry{846, "The PLC holds %s of image, the file %s."},
    StringEntry{847, "Word %llu (byte %llu) of the image differs from the file."},
    StringEntry{848, "The file is %s, longer than a device memory file (%s); only its first %s "
                     "are device memory."},
    StringEntry{849, "The file is %s; the PLC's image will be replaced. Continue?"},

    // Device memory dialogs, progress window and viewer.
    StringEntry{850, "Uploading error."},
    StringEntry{851, "Upload device memory(CPU->FIle)"},
    StringEntry{852, "Download device memory(File->CPU)"},
    StringEntry{853, "Download"},
    StringEntry{854, "Load the file data is complete."},
    StringEntry{855, "Is set to delete all the data.\nDo you want to proceed?"},
    StringEntry{856,
                "After deleting the settings are set to the maximum extent.\nDo you want to run?"},
    StringEntry{857, "existing data is erased.\nDo you want to run?"},
    StringEntry{858, "To get a max Addr., input same value into Start and End Addr."},
    StringEntry{859, "addresses were changed to the maximum range."},
    StringEntry{860, "Reading the file has been completed."},
    StringEntry{861, "Error: start address is greater."},
    StringEntry{862, "The range is from 0 to %d."},
    StringEntry{863, "File path does not exist.\nPlease enter the filename to save."},
    StringEntry{864, "Data does not exist.\nYou must load the device's memory."},
    StringEntry{865, "Data saving completed"},
    StringEntry{866, "Device memory file does not exist.\nPlease check."},
    StringEntry{867,
                "Complete the download request.\nIf an error occurs, a message is displayed on "
                "the screen."},
    StringEntry{868, "The PLC did not confirm the write to %s.\nThe download was stopped; the "
                     "rest of the data was not sent."},
    StringEntry{869, "After uploading a file is saved automatically."},
    StringEntry{870, "Device Download>"},
    StringEntry{871, " ~ %dWord Downloading...."},
    StringEntry{872, "Device Upload>"},
    StringEntry{873, " Uploading...(100Word)"},
    StringEntry{874, "Delete the value of all the devices.\nClear the unsaved value.\n\nAfter "
                     "deleting, press the \"Apply\" button to apply."},
    StringEntry{875, "Delete the current value of the device.\nClear the unsaved value.\n\nAfter "
                     "deleting, press the \"Apply\" button to apply."},
    StringEntry{876, "To recover the last value stored.\nClear the unsaved value."},
    StringEntry{877, "The device memory file is damaged or incomplete.\nPlease check the file."},
    StringEntry{878, "CPU Type is not selected. Select the CPU."},
    StringEntry{879, "The file could not be saved.\nThe previous file is left as it was."},
    StringEntry{880, "No."},
    StringEntry{881, "Device"},
    StringEntry{882, "Variable"},
    StringEntry{883, "DEC"},
    StringEntry{884, "HEX"},
    StringEntry{885, "%d of the %d blocks did not arrive.\nThe file is incomplete; do not "
                     "restore it."},
    StringEntry{886, "The device image file is empty or too large.\nThere is nothing to send."},
    StringEntry{887, "Verify after restore"},
    StringEntry{888, "Verified %llu words"},
    StringEntry{889, "%s is %u (0x%04X) in the PLC but %u (0x%04X) in the file"},
    StringEntry{890, "Export CSV..."},
    StringEntry{891, "Import CSV..."},
    StringEntry{892, "Compare with file..."},
    StringEntry{893, "The backup was cancelled.\nThe file was not changed."},
    StringEntry{894, "Stop the restore?\nWords already written stay in the PLC."},
    StringEntry{895, "The restore was stopped.\nWords already written stay in the PLC."},
    StringEntry{896, "%d words differ from the chosen file."},
    StringEntry{897, "The CSV file was not imported.\n%s"},
    StringEntry{898, "Cancel"},
    StringEntry{899, "Verify failed: %llu of %llu words differ"},

    // Communication, connect and password messages.
    StringEntry{900, "Invalid Password"},
    StringEntry{901,
                "Cannot open the COM port.\nPlease check whether the port was already occupied "
                "by other application program."},
    StringEntry{902, "Error code was received from CPU."},
    StringEntry{904, "CPU connection was closed."},
    StringEntry{905, "Invalid password.\nThe password was not matched with CPU's."},
    StringEntry{907, "Failed to Initialize the dial-up MODEM."},
    StringEntry{908, "Failed to connect with the dial-up MODEM."},
    StringEntry{909, "Dial-up MODEM connected."},
    StringEntry{910, "Connecting..."},
    StringEntry{911, "Initializing Modem..."},
    StringEntry{912, "Error found in the frame received from PLC."},
    StringEntry{913, "Connected with PLC through Ethernet."},
    StringEntry{914, "Connected with PLC through MODEM."},
    StringEntry{915, "CPU Type is not Correct.\nCheck CPU TYPE at [File] -> [Project Properties]"},
    StringEntry{916, "The CPU Type of PLC and project are not matched.\nNote that there is "
                     "differences in memory capacity between each CPU type."},
    StringEntry{917, "The CPU type of project is not matched with the connected PLC.\nPlease check "
                     "the type of CPU in project property."},

    // PLC error texts: id 917 + PLC error code 1 to 20.
    StringEntry{918, "ERR (1) : Unknown OP code"},
    StringEntry{919, "ERR(2) : CRC Error"},
    StringEntry{920, "ERR(3) : Invalid CPU mode"},
    StringEntry{921, "ERR(4) : Data size overflow"},
    StringEntry{922, "ERR(5) : Fail to search"},
    StringEntry{923, "ERR(6) : Monitor size exceeded"},
    StringEntry{924, "ERR(7) : Unknown monitor frame number"},
    StringEntry{925, "ERR(8) : Unregistered frame number"},
    StringEntry{926, "ERR(9) : Invalid value"},
    StringEntry{927, "ERR(10) : Invalid data size"},
    StringEntry{928, "ERR(11) : Rx. timeout"},
    StringEntry{929, "ERR(12) : Invalid CPU mode"},
    StringEntry{930, "ERR(13) : Error in FROM / TO instruction"},
    StringEntry{931, "ERR(14) : Fail to execute the instruction"},
    StringEntry{932, "ERR(15) : Busy"},
    StringEntry{933, "ERR(16) : Try to read information of uninstalled expansion"},
    StringEntry{934, "ERR(17) : Fail to run the online-edit"},
    StringEntry{935, "ERR(18) : No response from CPU"},
    StringEntry{936, "ERR(19) : Error in system data (result data)"},
    StringEntry{937, "ERR(20) : Not supported instruction"},

    // Program kind names: id 943 + program kind 1 to 7.
    StringEntry{944, "Scan Program"},
    StringEntry{945, "Subroutine Program"},
    StringEntry{946, "Initialization Program (COLD)"},
    StringEntry{947, "Initialization Program (HOT)"},
    StringEntry{948, "Periodical Interrupt"},
    StringEntry{949, "Special Function Program"},
    StringEntry{950, "SFC Program"},

    // Download engine, CPU mode and encryption messages.
    StringEntry{951, "Download succeeded."},
    StringEntry{952, "Failed to initialize the COM library module.\nPlease check whether the port "
                     "was already occupied by other program."},
    StringEntry{953, "Parameter data size exceeds the capacity of CPU.\nPlease check the "
                     "configuration and try to compile again."},
    StringEntry{956, "Cannot find the PRM file. (parameter file)\nPlease compile again."},
    StringEntry{957, "Cannot find BIN file. (program file)\nPlease compile again."},
    StringEntry{961, "The program cannot be downloaded with current CPU mode.\nPlease change the "
                     "CPU mode with switch and try again."},
    StringEntry{962,
                "CPU mode will be changed to 'Remote STOP' for program downloading.\n\n(Ensure "
                "your system's safety against the risk from PLC stop.)"},
    StringEntry{963, "Do you want to switch the CPU mode to 'Remote RUN'?\n\n(Ensure your system "
                     "against the risk from PLC run.)"},
    // text not given; written from its use
    StringEntry{964, "Failed to change the CPU mode."},
    StringEntry{965, "Communication RX timeout.\nTry again after increasing transfer rate or "
                     "extending RX TIMEOUT time."},
    // CPU mode texts, appended to a message.
    StringEntry{967, "\n\nCurrent CPU mode : LOCAL RUN"},
    StringEntry{968, "\n\nCurrent CPU mode : LOCAL STOP"},
    StringEntry{969, "\n\nCurrent CPU mode : LOCAL PAUSE"},
    StringEntry{970, "\n\nCurrent CPU mode : REMOTE RUN"},
    StringEntry{971, "\n\nCurrent CPU mode : REMOTE STOP"},
    StringEntry{972, "\n\nCurrent CPU Mode : REMOTE PAUSE"},
    StringEntry{973, "Do you want to change the mode of connected CPU to ACTIVE?"},
    StringEntry{974, "An error has occurred during encryption operations. (Creating a user key has "
                     "failed)\n\nYes: Check for more information.\nNo: Cancel."},

    // Requests refused before they are sent, a download item too large for the protocol, a
    // restore range the file does not hold.
    StringEntry{975, "The request was not sent: it exceeds what one frame of the loader protocol "
                     "can carry."},
    StringEntry{976, "The request was not sent: the number of attempts in the connection settings "
                     "is 0."},
    StringEntry{977, "The request was not sent: the device has no address for the project's CPU "
                     "type."},
    StringEntry{978, "This file is too large to download (more than 65535 blocks): %s"},
    StringEntry{979, "%s%u to %u not restored: a device memory file holds %s words up to %u only."},
    StringEntry{980, "A file of the package could not be read; nothing more was sent: %s"},
    StringEntry{981, "No check is known for this pair of CPU types.\nGo on with this PLC anyway?"},
    StringEntry{982, "The PLC is in STOP and holds only part of the project (items up to %s).\n"
                     "Download the project again before you switch it to RUN."},
    StringEntry{983, "The PLC is in STOP and holds no whole item of the project.\nDownload the "
                     "project again before you switch it to RUN."},
    StringEntry{984, "The PLC is in STOP and still holds the project it had; nothing of this "
                     "project was sent."},
    StringEntry{985, "The download was stopped."},
    StringEntry{986, "RS232 Error"},
    StringEntry{987, "Dial-up Error"},
    StringEntry{988, "Line Modem Error"},
    StringEntry{989, "Ethernet Error"},
    StringEntry{990, "No program could open the manual.\nThe manual is at %s"},
    StringEntry{991, "&Upload"},
    StringEntry{992, "C&lose"},
    StringEntry{993, "Simulator Error"},
    StringEntry{994, "PLC Error"},
    StringEntry{995, "Parameter"},
    StringEntry{996, "Program %03u"},

    // Main window: the button that opens the operation record.
    StringEntry{997, "History..."},

    // ST program kind name.
    StringEntry{998, "ST Program"},
};

} // namespace

// The lookup halves the table: an entry out of order would hide its neighbours.
static_assert(std::is_sorted(std::begin(kEntries), std::end(kEntries),
                             [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; }),
              "the string table is kept in order of its ids");

std::span<const StringEntry> stringTableEntries() { return kEntries; }

} // namespace dlu
