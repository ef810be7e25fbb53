// Every text that morva prints: those of the command line and the run here,
// those of reading, converting and writing a file in files/file_messages.h.
// Each is a format string for ConsolePrint; %s takes a wide string, %d an int.
#pragma once

#include "files/file_messages.h"

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
    L"                    k - KOI8R\n"
    L"                    e - БКшный файл в формате Edasp\n"
    L"                    v - БКшный файл в формате Vortex\n"
    L"\n"
    L"  -o<out_mode> (--output <out_mode>) - задать формат выходного файла.\n"
    L"  Возможные режимы: u - Unicode UTF-16LE (по умолчанию, если параметр\n"
    L"      отсутствует)\n"
    L"                    8 - Unicode UTF-8\n"
    L"                    w - Windows CP-1251\n"
    L"                    o - OEM CP-866\n"
    L"                    k - KOI8R\n"
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
inline constexpr const wchar_t* kMsgFilePair = L"%s -> %s\n";
inline constexpr const wchar_t* kMsgDone = L"Готово, обработано %d файлов.\n";
// An output would replace (or a BASIC ASC set would remove) a file that this
// run reads, converted already or still to come.
inline constexpr const wchar_t* kMsgOutputIsInput =
    L"Ошибка! %s - входной файл, он не будет перезаписан.\n";
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
