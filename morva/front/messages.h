// Every text that morva prints, in one place: the command line, the run,
// and the reasons for which reading, converting or writing a file fails
// (the file classes and the conversion routines hand back a FileError; the
// driver prints its text here). Each is a format string for ConsolePrint;
// %s takes a text, %d a number (the arguments are typed: see FormatArg).
#pragma once

// --- command line ---------------------------------------------------------
inline constexpr const wchar_t* kHelpText =
    L"Конвертор текстов Win <--> БК\n"
    L"Использование:\n"
    L"morva -h (--help)\n"
    L"  Вывод этой справки.\n"
    L"morva --version - вывод номера версии.\n"
    L"morva [-i<in_mode>] [-o<out_mode>] [-t<n>] <InputFile1.ext> {<InputFileN.ext> ...}\n"
    L"  -i<in_mode> (--input <in_mode>) - задать формат входного файла.\n"
    L"  Возможные режимы: a - автоопределение (по умолчанию, если параметр\n"
    L"      отсутствует). Не работает для БКшных файлов. Они опознаются как\n"
    L"      файл в KOI8R, и будут обработаны неправильно.\n"
    L"                    b - Basic ASC файлы. InputFile1.ext должен быть\n"
    L"      заголовочным .ASC файлом в .bin формате.\n"
    L"                    u - Unicode UTF-16LE или Unicode UTF-8, форматы\n"
    L"      корректно определяются даже без BOM.\n"
    L"                    w - Windows CP-1251\n"
    L"                    o - OEM CP-866\n"
    L"                    k - KOI8R (набор символов БК)\n"
    L"                    r - KOI8R (стандарт, с буквой ё)\n"
    L"                    e - БКшный файл в формате Edasp\n"
    L"                    d - БКшный файл в стандарте Edasp (читается как e)\n"
    L"                    v - БКшный файл в формате Vortex\n"
    L"\n"
    L"  -o<out_mode> (--output <out_mode>) - задать формат выходного файла.\n"
    L"  Возможные режимы: u - Unicode UTF-16LE (по умолчанию, если параметр\n"
    L"      отсутствует)\n"
    L"                    8 - Unicode UTF-8\n"
    L"                    w - Windows CP-1251\n"
    L"                    o - OEM CP-866\n"
    L"                    k - KOI8R (набор символов БК)\n"
    L"                    r - KOI8R (стандарт, с буквой ё)\n"
    L"                    e - БКшный файл в формате Edasp\n"
    L"                    d - БКшный файл в стандарте Edasp (без сжатия пробелов)\n"
    L"                    v - БКшный файл в формате Vortex\n"
    L"                    b - Basic ASC файлы (Имеет смысл только для листингов\n"
    L"      текстов на Бейсике).\n"
    L"\n"
    L"  -t<n> (--tab <n>) - задать ширину табулятора для входного файла.\n"
    L"      Допускаются значения от 2 до 16, остальные игнорируются.\n"
    L"      Принятые значения по умолчанию: для файлов Windows tab = 4,\n"
    L"      для файлов БК tab = 8.\n"
    L"\n"
    L"  InputFile1.ext - входной файл. Допускается использование масок файлов.\n";

// --- the run ----------------------------------------------------------------
inline constexpr const wchar_t* kMsgAnnounce = L"Преобразование %s -> %s\n";
inline constexpr const wchar_t* kMsgMeaningless =
    L"Бессмысленное преобразование делать не будем.\n";
inline constexpr const wchar_t* kMsgImpossible =
    L"Такое преобразование невозможно по техническим причинам.\n";
inline constexpr const wchar_t* kMsgNotFound = L"Файл(ы) '%s' не найден(ы)\n";
// Before each file that is converted (not before one that is refused).
inline constexpr const wchar_t* kMsgFilePair = L"%s -> %s\n";
// The end of a run that reached its files: how many files were converted
// ("5 файлов"), and how many failed or were refused when any did.
inline constexpr const wchar_t* kMsgDone = L"Готово, обработано %s.\n";
inline constexpr const wchar_t* kMsgDoneWithFailures =
    L"Готово, обработано %s, не удалось обработать %s.\n";
// "N файл", "N файла", "N файлов": the forms of the noun after a number.
inline constexpr const wchar_t* kWordFileOne = L"файл";
inline constexpr const wchar_t* kWordFileFew = L"файла";
inline constexpr const wchar_t* kWordFileMany = L"файлов";
// The refusals of a file before it is converted, each naming the input first.
// An output would replace (or a BASIC ASC set would remove) a file that this
// run reads, converted already or still to come: the input, that file.
inline constexpr const wchar_t* kMsgOutputIsInput =
    L"Ошибка! %s не преобразован: %s - входной файл, он не будет перезаписан.\n";
// The output name that morva derives is a folder: the input, the folder.
// Nothing is written into the folder.
inline constexpr const wchar_t* kMsgOutputIsFolder =
    L"Ошибка! %s не преобразован: выходное имя %s занято папкой.\n";
// Two inputs of one run would write the same output: the second input, the
// output, the input that wrote it first.
inline constexpr const wchar_t* kMsgSameOutput =
    L"Ошибка! %s не преобразован: %s уже записан из %s.\n";
// After a file whose output could not hold some characters: how many were
// replaced, and the first of them (or its code, when it does not show).
inline constexpr const wchar_t* kMsgReplaced = L"Заменено символов: %s (первый: %s).\n";
// An allocation failed: the objects of the file in hand have removed their
// outputs on the way.
inline constexpr const wchar_t* kMsgNoMemory = L"Недостаточно памяти.\n";

// The encoding report of a PC input: what the detection found and what the
// text is read in.
inline constexpr const wchar_t* kMsgEncodingReport =
    L"Автоопределение кодировки: %s, преобразование будет из: %s\n";
// A BK text that starts with the header of a BK file whose length word is
// the rest of the file: the file, the load address and the length.
inline constexpr const wchar_t* kMsgBkHeaderSkipped =
    L"Файл %s начинается с заголовка БК (адрес 0%o, длина 0%o): текст читается без него.\n";

// --- reasons (FileError) ----------------------------------------------------
// Each takes the name of the file the reason is about first; the reasons of
// an output that could not be made take more (see PrintFailure).
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
// A text too long for a BASIC ASC set (kAscMostParts), named by the input:
// nothing of the set has been written.
inline constexpr const wchar_t* kMsgTooManyParts =
    L"Ошибка! %s не преобразован: набор Basic ASC вмещает не больше 999 частей по 256 байт, "
    L"набор не записан.\n";
