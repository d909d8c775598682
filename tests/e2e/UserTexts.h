// The texts and names the end-to-end tests of every architecture check, written out
// literally as the user, the drop host and the registry show them (code page 932 bytes):
// the rename dialog and its messages, the handler's drop-menu items, the registration's keys
// and names outside code page 932. No C++ library: the ARM64 test program includes it too.
#pragma once

#include "ProductVersion.h"

namespace e2e {

const char kDllPath[] = "P:\\" PELIM_DLL_NAME;
const char kDropHostPath[] = "P:\\drophost.exe";

// Dialog 201 and its controls.
const int kNameBox = 201;
const int kExtensionBox = 202;
const int kDot = 203;

const char kCopyCaption[] = "名前を変更してコピー";
const char kMoveCaption[] = "名前を変更して移動";
const char kCopyButton[] = "コピー(&C)";
const char kMoveButton[] = "移動(&M)";
const char kCancelButton[] = "ｷｬﾝｾﾙ(&Q)";
const char kErrorCaption[] = "エラー";
const char kEmptyNameText[] = "変更後の名前を入力してください！";
const char kWarningCaption[] = "警告";
const char kFolderExistsText[] =
    "入力したフォルダ名前は既に存在します！\n"
    "フォルダに対して、名前を変えての上書き移動／コピーは出来ません。\n"
    "別の名前を指定してください。";
const char kReplaceCaption[] = "ファイルの上書きの確認";
// New names no file can carry.
const char kForbiddenCharacterText[] = "変更後の名前に使えない文字が含まれています！\n"
                                       "次の文字と制御文字は名前に使えません。\n"
                                       "\\ / : * ? \" < > |";
const char kTrailingDotText[] = "変更後の名前の最後にピリオド（.）や空白は使えません！\n"
                                "「.」と「..」も名前には使えません。";
const char kDeviceNameText[] =
    "変更後の名前はデバイス名なので使えません！\n"
    "CON、PRN、AUX、NUL、COM1～COM9、LPT1～LPT9 は、拡張子を付けても名前には使えません。";

// The handler's items and the host's separator after them, as the drop host reports them.
const char kCopyItemLine[] = "menu 3 id 0x100 state 0x0 名前を変更してコピー(&G)";
const char kMoveItemLine[] = "menu 4 id 0x101 state 0x0 名前を変更して移動(&W)";
const char kSeparatorLine[] = "menu 5 separator";

// The registration below the classes: the class key, its name, the handler keys under
// each parent and the type library.
const char kClassKey[] = "CLSID\\{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}";
const char kClassId[] = "{6D9CAEAC-7AC7-46CD-97B8-28CB76A473C0}";
const char kClassName[] = "ドラッグ＆ドロップ拡張モジュール";
const char kLibraryKey[] = "TypeLib\\{09453CB6-62C4-4355-94A7-058CE2686EC6}";
const char* const kHandlerParents[] = { "*", "Folder", "Drive" };

// A new name no file can carry, typed into the boxes, and the message that refuses it.
struct Refusal {
    const char* name;
    const char* extension;
    const char* text;
};

// Names the NT family's wide road keeps exactly: outside code page 932 (a Mac's wave dash,
// decomposed kana, Latin, an emoji, Hangul, a character beyond the BMP, the yen sign).
const wchar_t* const kWideNames[] = { L"4月\u301C6月.xlsx", L"\u304B\u3099\u3057.txt",
                                      L"caf\u00E9.txt",     L"\xD83D\xDE00.txt",
                                      L"\uD55C\uAE00.txt",  L"\xD842\xDFB7野家.txt",
                                      L"\u00A5100.txt" };

} // namespace e2e
