// The zip front-end's message texts, keyed by message number.
#pragma once
#include <string>

namespace zipfront {

// The text of message `id`, or null when the table has no such message.
const char* ZipMsgText(int id);

// Message numbers used by name in the code.
enum ZipMsgId : int {
    GE_FatalZip = 10101,
    GE_NoZipSpecified = 10102,
    GE_NoMem = 10103,
    GE_WrongPassword = 10104,
    PW_UnatAddPWMiss = 10150,
    PW_UnatExtPWMiss = 10151,
    PW_Caption = 10154,
    PW_MessageEnter = 10155,
    PW_MessageConfirm = 10156,
    LI_ReadZipError = 10201,
    LI_ErrorUnknown = 10202,
    LI_WrongZipStruct = 10203,
    LI_GarbageAtEOF = 10204,
    AD_NothingToZip = 10301,
    AD_UnattPassword = 10302,
    AD_NoFreshenUpdate = 10303,
    AD_AutoSFXWrong = 10304,
    DL_NothingToDel = 10401,
    EX_FatalUnZip = 10501,
    EX_UnAttPassword = 10502,
    LZ_ZipDllLoaded = 10601,
    LZ_NoZipDllExec = 10602,
    LZ_NoZipDllVers = 10603,
    LZ_NoZipDll = 10604,
    LU_UnzDllLoaded = 10701,
    LU_NoUnzDllExec = 10702,
    LU_NoUnzDllVers = 10703,
    LU_NoUnzDll = 10704,
    DS_NoInFile = 11001,
    DS_FileOpen = 11002,
    DS_NotaDrive = 11003,
    DS_DriveNoMount = 11004,
    DS_Canceled = 11007,
    DS_FailedSeek = 11008,
    DS_NoOutFile = 11009,
    DS_NoWrite = 11010,
    DS_EOCBadRead = 11011,
    DS_CEHBadRead = 11013,
    DS_CEHWrongSig = 11015,
    DS_CENameLen = 11017,
    DS_CECommentLen = 11022,
    DS_UnknownError = 11024,
    DS_NoTempFile = 11027,
    DS_EOCBadWrite = 11030,
    DS_FirstInSet = 11037,
    DS_NotLastInSet = 11038,
    DS_NoValidZip = 11036,
    DS_NoUnattSpan = 11025,
    DS_AskDeleteFile = 11039,
    DS_NotLastInSetFile = 11045,
};

} // namespace zipfront
