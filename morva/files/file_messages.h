// The texts that reading, converting and writing a file print, for the file
// classes, the conversion routines and the run alike. Each is a format
// string for ConsolePrint; %s takes a wide string.
#pragma once

// An input that is a FIFO, a device or a socket: reading it could hang the
// run or give an empty text.
inline constexpr const wchar_t* kMsgNotRegular = L"Ошибка! %s не является обычным файлом.\n";
inline constexpr const wchar_t* kMsgCannotOpen = L"Ошибка! %s не открывается.\n";
// A read failed before the end of the file: the text would be cut off.
inline constexpr const wchar_t* kMsgCannotRead = L"Ошибка! %s не читается.\n";
// A BASIC ASC set that cannot be read whole, named by its part.
inline constexpr const wchar_t* kMsgPartMissing = L"Ошибка! %s не найден, набор файлов неполон.\n";
inline constexpr const wchar_t* kMsgPartShort =
    L"Ошибка! %s короче 256 байт, набор файлов неполон.\n";
inline constexpr const wchar_t* kMsgPartDamaged =
    L"Ошибка! %s повреждён, это не часть набора Basic ASC.\n";
// A write to the output failed (full disk, quota, I/O error): the output
// would be a cut-off text, so it has been removed.
inline constexpr const wchar_t* kMsgCannotWrite =
    L"Ошибка! %s не записывается, неполный файл удалён.\n";
// The same for a BASIC ASC file set: the header and the parts written so far
// have been removed, since a set without one of its parts loses text.
inline constexpr const wchar_t* kMsgCannotWriteSet =
    L"Ошибка! %s не записывается, неполный набор файлов удалён.\n";
// The output could not be made: the folder would not take a new file (the
// output, its folder, the system's reason); the name is a folder or a
// device that refused (the output, the reason); an existing file that
// nobody may write, which is never replaced.
inline constexpr const wchar_t* kMsgCannotCreateIn = L"Ошибка! %s не создаётся в папке %s: %s.\n";
inline constexpr const wchar_t* kMsgCannotOpenOutput =
    L"Ошибка! %s не открывается для записи: %s.\n";
inline constexpr const wchar_t* kMsgWriteProtected =
    L"Ошибка! %s защищён от записи, он не будет заменён.\n";
// Another run held the folder of a BASIC ASC set for longer than the wait
// (the header, the folder, seconds): its set stands, this one is not written.
inline constexpr const wchar_t* kMsgOutputBusy =
    L"Ошибка! %s не записан: папку %s дольше %d с занимает другой запуск.\n";
