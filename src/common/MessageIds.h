#pragma once

namespace dlu {

// The messages code names, by their Korean id in the string table (MessageTexts.cpp); the
// English text of each is at id + 300. An unscoped enum inside a struct: call sites read
// `messages(Msg::DownloadSucceeded)`, and the ids stay plain ints where a message is chosen
// by a base plus an index (`Msg::PlcErrorBase + code`).
struct Msg {
    enum Id : int {
        // Main dialog and download.
        DownloadFileError = 400,
        NoPackage = 401,
        NoConnection = 402,
        ConnectFailed = 403,
        Downloading = 404,         // the progress window's text
        ProgramColumns = 450,      // 450 to 453: No., PID, name, type
        ConnectionTypeNames = 470, // 470 to 475, by connection type
        TransferRunning = 405,     // closing the main window while a transfer runs
        ConnectionLabel = 480,
        PortLabel = 481,
        IpAddressLabel = 482,
        ProjectName = 510,
        ProjectSize = 511,
        ProgramCount = 512,

        // Device memory.
        UploadError = 550,
        TitleBackup = 551,
        TitleRestore = 552,
        DownloadButton = 553,
        FileDataLoaded = 554,
        AskDefault = 555,
        AskMaximum = 556,
        AskClearAll = 557,
        FullRangeHint = 558,
        FullRangeDone = 559,
        FileLoaded = 560,
        OrderError = 561,
        RangeError = 562,
        NoSavePath = 563,
        NothingToSave = 564,
        Saved = 565,
        NoDeviceFile = 566,
        RestoreDone = 567,
        WriteNotConfirmed = 568,
        SavedAutomatically = 569,
        DownloadLine1 = 570,
        DownloadLine2 = 571,
        UploadLine1 = 572,
        UploadLine2 = 573,
        FileDamaged = 577,
        CpuTypeNotSelected = 578,
        SaveFailed = 579,
        BlocksMissing = 585,
        PartialImageKept = 530,  // where an incomplete image went; the old file is unchanged
        NotARegularFile = 531,   // a save target that is a device, pipe, link or folder
        EmptyImage = 586,
        ViewerAskClearAll = 574,
        ViewerAskClearArea = 575,
        ViewerAskRestore = 576,
        ViewerHeaders = 580, // 580 to 584: No., Device, Variable, DEC, HEX
        ExportCsv = 590,
        ImportCsv = 591,
        CompareWithFile = 592,
        BackupCancelled = 593,
        AskStopRestore = 594,
        RestoreStopped = 595,
        WordsDiffer = 596,
        CsvNotImported = 597,
        Cancel = 598,
        VerifyAfterRestore = 587,
        Verified = 588,          // "Verified %llu words"
        WordVerifyDiffers = 589, // a word the PLC holds otherwise than the file
        VerifyFailed = 599,      // how many of the words read back differ
        AskLoadLongPdm = 545,    // the text of 548 and the question whether to load it
        ImageSizesDiffer = 546,
        ImageWordDiffers = 547,
        PdmTooLong = 548,
        AskReplaceImage = 549,

        // Connection and session.
        InvalidPassword = 600,
        PortNotOpen = 601,
        CpuErrorCode = 602,
        ConnectionClosed = 604,
        StoredPasswordWrong = 605,
        ModemInitFailed = 607,
        ModemFailed = 608,
        ModemConnected = 609,
        Connecting = 610,
        InitializingModem = 611,
        BadFrame = 612,
        ConnectedEthernet = 613,
        ConnectedModem = 614,
        UnknownCpu = 615,
        CpuWarning = 616,
        CpuRefused = 617,
        PlcErrorBase = 617,    // + PLC error code 1 to 20
        ProgramKindBase = 643, // + program kind 1 to 7
        DownloadSucceeded = 651,
        ChannelOpenFailed = 652,
        ParameterTooLarge = 653,
        ParameterMissing = 656,
        LinkMissing = 657,
        ModeNotPossible = 661,
        AskRemoteStop = 662,
        AskRemoteRun = 663,
        EchoCable = 665,
        MakeActive = 673,
        CryptoUnavailable = 674,
        // Requests this program refuses before anything is sent (the link stays as it was).
        RequestTooLarge = 675, // beyond what one frame can carry
        NoAttempts = 676,      // the connection settings allow 0 attempts
        NoDeviceAddress = 677, // a device with no address for the CPU type
        ItemTooLarge = 678,    // a download item of more than 65535 blocks, with its name
        RangeNotInFile = 679,  // a restore range past the words a .PDM file holds
        FileUnreadable = 680,  // a package file that could no longer be read mid-download
        CpuPairUnchecked = 681, // after 616: a CPU type pair the table does not name; go on?
        HoldsPartOfProject = 682, // a download stopped after some items: the PLC holds those
        HoldsNoItem = 683,        // a download stopped before its first whole item
        HoldsPreviousProject = 684, // stopped in STOP before anything of the project was sent
        DownloadCancelled = 685,  // the user stopped a download between two requests
        // The link error names after a lost or silent link, by connection type, and the
        // download's own; the download items' names.
        SerialError = 686,
        DialUpError = 687,
        LineModemError = 688,
        EthernetError = 689,
        SimulatorError = 693,
        PlcError = 694,
        ParameterItem = 695,
        ProgramItem = 696, // "Program %03u"
        ManualNotShown = 690,  // Help found no program to show the manual, with its place
        // Captions shared by the device memory windows.
        UploadButton = 691,
        CloseButton = 692,
        StProgram = 698,
        HistoryButton = 697, // the main window's button that opens the operation record
    };
};

} // namespace dlu
