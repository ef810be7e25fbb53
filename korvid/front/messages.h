// Every text that korvid prints, in one place. Each is a format string for
// ConsolePrint (common/console.h); %s takes a text, %d a number, %o a
// number in octal (the arguments are typed: see FormatArg). The methods
// report reasons; the front prints these.
#pragma once

#include "common/console.h"

// A text whose noun follows a number, in the three Russian forms
// (RussianPlural): after 1, after 2-4, after 0 and 5-20.
struct PluralText {
  const wchar_t* one;
  const wchar_t* few;
  const wchar_t* many;
};

inline const wchar_t* PluralFor(const PluralText& text, unsigned long long n) {
  return RussianPlural(n, text.one, text.few, text.many);
}

// A number printed in octal is read by its digits: 0172 agrees like 172.
inline unsigned long long OctalAsWritten(unsigned value) {
  unsigned long long written = 0;
  for (unsigned long long place = 1; value != 0; value /= 8, place *= 10)
    written += (value % 8) * place;
  return written;
}

// --- command line ---------------------------------------------------------
// The help: its head, one line per method (the first after kHelpFirstMethod,
// the others after kHelpNextMethod, each "KEYWORD - ... NAME."), its middle,
// one line per method's extension, its tail.
inline constexpr const wchar_t* kHelpHead =
    L"Кросс мультитул korvid для БК-0010(01) БК-0011(М)\n"
    L"\n"
    L"Использование:\n"
    L"korvid -? (--help)\n"
    L"  Вывод этой справки.\n"
    L"korvid --version - вывод номера версии.\n"
    L"\n"
    L"korvid -t<name> [-a<0addr>][-d][-l][-r][-u][-w<0addr>] <input_file_name> [output_file_name]\n"
    L"  -t<name> (--tool name) - выбор необходимого инструмента.\n";
inline constexpr const wchar_t* kHelpFirstMethod = L"      name: ";
inline constexpr const wchar_t* kHelpNextMethod = L"            ";
inline constexpr const wchar_t* kHelpMethodLine = L"%s%s - упаковщик/распаковщик %s.\n";
inline constexpr const wchar_t* kHelpMiddle =
    L"\n"
    L"  -a<0addr> (--address 0addr) - адрес загрузки входного файла без заголовка,\n"
    L"      восьмеричный. При распаковке нужен, только если образ сам его не задаёт;\n"
    L"      по умолчанию 01000.\n"
    L"\n"
    L"  -d (--data) - флаг упаковки данных, а не программы.\n"
    L"      По умолчанию упаковка программы.\n"
    L"\n"
    L"  -l (--long) - использовать длинный автораспаковщик.\n"
    L"      По умолчанию - обычный короткий. Не знаю, пользовался ли кто либо\n"
    L"      когда-нибудь таким, но функционал сохранён.\n"
    L"\n"
    L"  -r (--raw) - создавать просто файл, не использовать формат '.bin'.\n"
    L"\n"
    L"  -u (--unpack) - распаковка запакованного файла.\n"
    L"\n"
    L"  -w<0addr> (--work 0addr) - задать адрес рабочей области. Только для упаковки\n"
    L"      Dorvik. Для простоты, задаётся адрес конца рабочей области, например 040000,\n"
    L"      если нужно, чтобы рабочая область располагалась выше области экрана.\n"
    L"\n"
    L"  input_file_name - входной файл.\n"
    L"  output_file_name - необязательное имя выходного файла, если нужно задать\n"
    L"      своё имя файла создаваемому новому файлу, или папка для него.\n"
    L"  У выходного имени файла заменяется расширение (или добавляется, если его\n"
    L"  не было):\n";
inline constexpr const wchar_t* kHelpExtensionLine = L"      '%s' - упаковка %s\n";
inline constexpr const wchar_t* kHelpTail = L"      '.bkfile' - распаковка\n";

inline constexpr const wchar_t* kMsgNoInputName =
    L"Ошибка в командной строке: не задано имя входного файла.\n\n";
inline constexpr const wchar_t* kMsgNoTool = L"Забыли задать рабочий инструмент.\n";
// -t names neither method; the keyword as given.
inline constexpr const wchar_t* kMsgUnknownTool =
    L"Ошибка в командной строке: неизвестный инструмент '%s'.\n\n";
// -w takes octal digits only, and no more than the highest end the stub can use.
// -a takes octal digits only, a 16-bit address.
inline constexpr const wchar_t* kMsgBadLoadAddress =
    L"Ошибка в командной строке: адрес загрузки '%s' должен быть восьмеричным числом от 0 до "
    L"0177777.\n\n";
inline constexpr const wchar_t* kMsgBadWorkAddress =
    L"Ошибка в командной строке: адрес рабочей области '%s' должен быть восьмеричным числом от 0 "
    L"до "
    L"0140000.\n\n";

// --- BK binary files --------------------------------------------------------
inline constexpr const wchar_t* kMsgPacking = L"Пакуем '%s' :: ";
inline constexpr const wchar_t* kMsgUnpacking = L"Распаковываем '%s' :: ";
inline constexpr const wchar_t* kMsgFileNotFound = L"Ошибка:: файл '%s' не найден.\n";
inline constexpr const wchar_t* kMsgNotRegularFile = L"Ошибка:: '%s' не является обычным файлом.\n";
inline constexpr const wchar_t* kMsgFileTooBig = L"Ошибка:: файл '%s' слишком большой.\n";
// Fewer than the 4 bytes of a header: not even a raw file is that short.
inline constexpr const wchar_t* kMsgFileTooShort =
    L"Ошибка:: файл '%s' слишком короткий, в нём меньше 4 байт.\n";
// A header that fits the file but for block padding at its end: load
// address, length, ignored bytes. Printed before the run's line.
inline constexpr PluralText kMsgFilePadded = {
    L"Внимание:: файл длиннее, чем сказано в заголовке (адрес 0%o, длина 0%o), "
    L"лишний 0%o байт в конце не взят.\n",
    L"Внимание:: файл длиннее, чем сказано в заголовке (адрес 0%o, длина 0%o), "
    L"лишние 0%o байта в конце не взяты.\n",
    L"Внимание:: файл длиннее, чем сказано в заголовке (адрес 0%o, длина 0%o), "
    L"лишние 0%o байт в конце не взяты.\n"};
// A file of the extended form's size whose last word is the checksum of its
// data and whose name field reads as a name is read in that form, though a
// header with 18 bytes of padding would have fitted too: the name.
inline constexpr const wchar_t* kMsgTapeDump =
    L"Внимание:: файл прочитан как запись с магнитофона: заголовок 20 байт с именем '%s', "
    L"данные и их контрольная сумма; не как файл с 18 лишними байтами в конце.\n";
// A header that promises more bytes than the file holds: load address,
// length, missing bytes.
inline constexpr PluralText kMsgFileTruncated = {
    L"Ошибка:: файл оборван: по заголовку (адрес 0%o, длина 0%o) в нём не хватает 0%o байта.\n",
    L"Ошибка:: файл оборван: по заголовку (адрес 0%o, длина 0%o) в нём не хватает 0%o байт.\n",
    L"Ошибка:: файл оборван: по заголовку (адрес 0%o, длина 0%o) в нём не хватает 0%o байт.\n"};
// Unpacking a file without a BK header that holds no image of the method
// either: the method's name.
inline constexpr const wchar_t* kMsgNoHeaderNoImage =
    L"Ошибка:: у файла нет заголовка БК, и это не образ %s без заголовка.\n";
// -a was given but the load address came from elsewhere: the address of -a,
// the one taken. Printed before the run's line.
inline constexpr const wchar_t* kMsgAddressFromHeader =
    L"Внимание:: ключ -a 0%o не учтён: у файла есть заголовок с адресом загрузки 0%o.\n";
inline constexpr const wchar_t* kMsgAddressFromImage =
    L"Внимание:: ключ -a 0%o не учтён: образ сам задаёт адрес загрузки 0%o.\n";
// A program to pack whose end lies beyond the 16-bit address space.
inline constexpr const wchar_t* kMsgPastAddressSpace =
    L"Ошибка:: программа с адреса 0%o длиной 0%o выходит за границу памяти 0200000.\n";
inline constexpr const wchar_t* kMsgCannotOpen = L"Ошибка:: не удалось открыть файл '%s'.\n";
inline constexpr const wchar_t* kMsgCannotRead = L"Ошибка:: не удалось прочитать файл '%s'.\n";
// The output could not be made: the folder would not take a new file (the
// output, its folder, the system's reason); the name is a folder or a
// device that refused (the output, the reason); an existing file that
// nobody may write, which is never replaced.
inline constexpr const wchar_t* kMsgCannotCreateIn =
    L"Ошибка:: не удалось создать файл '%s' в папке '%s': %s.\n";
inline constexpr const wchar_t* kMsgCannotCreate =
    L"Ошибка:: не удалось открыть файл для записи '%s': %s.\n";
inline constexpr const wchar_t* kMsgWriteProtected =
    L"Ошибка:: файл '%s' защищён от записи, он не будет заменён.\n";
// A write or the close of the output failed (full disk, quota, I/O error).
// A half-written regular file is removed before this is printed.
inline constexpr const wchar_t* kMsgCannotWrite = L"Ошибка:: не удалось записать файл '%s'.\n";
// The output name designates the input file itself: writing would destroy it.
inline constexpr const wchar_t* kMsgOutputIsInput =
    L"Ошибка:: выходной файл '%s' совпадает с входным, входной файл не будет затёрт.\n";
// The results, printed once the output file is in place. After packing:
// the ratio (not for an empty input) and the estimated unpacking time on a
// BK-0010 in seconds, one decimal with a decimal comma (whole, tenths), then
// what the method adds (the in-place margin of a Sokol image), then the
// line end.
inline constexpr const wchar_t* kMsgPacked = L" OK, Ratio %d%%, ~%u,%u с на БК-0010";
inline constexpr const wchar_t* kMsgPackedEmpty = L" OK, ~%u,%u с на БК-0010";
inline constexpr const wchar_t* kMsgResultEnd = L"\n";
inline constexpr const wchar_t* kMsgUnpacked = L" OK\n";
// After unpacking a file without a header: the load address and where it
// came from.
inline constexpr const wchar_t* kMsgUnpackedAt = L" OK, адрес загрузки 0%o %s\n";
inline constexpr const wchar_t* kMsgAddressOfImage = L"взят из образа";
inline constexpr const wchar_t* kMsgAddressOfOption = L"задан ключом -a";
inline constexpr const wchar_t* kMsgAddressByDefault =
    L"по умолчанию: образ его не хранит, другой задаётся ключом -a";

// Packing a file below 01000 changed a stack word that korvid -u does not
// give back: its address, the input's value, the image's, and what -u gives.
inline constexpr const wchar_t* kMsgStackWordChanged =
    L"Внимание:: слово стека по адресу 0%o было 0%o, в образе оно 0%o, korvid -u вернёт 0%o.\n";
// Unpacking gave the word below the topmost autostart word the start address:
// its address, the value written, the image's value, the topmost word's address.
inline constexpr const wchar_t* kMsgStackWordInDoubt =
    L"Внимание:: слово стека по адресу 0%o записано как 0%o (в образе 0%o): если адрес запуска "
    L"стоял только в слове 0%o, до упаковки здесь было другое значение, и образ его не хранит.\n";
// The image korvid packed does not unpack to the input with korvid's own
// unpacker: a fault of korvid's.
inline constexpr const wchar_t* kMsgRoundTripFailed =
    L"Ошибка:: korvid -u не распаковал бы этот образ в исходный файл. Файл не записан, это "
    L"внутренняя ошибка korvid.\n";

// --- the proof on the PDP-11 model ------------------------------------------
// A packed image runs on korvid's PDP-11 model before it is written; one
// that fails is not written, and the message says why. Addresses and values
// are octal. A failure other than the lack of room is korvid's own fault.
// The first byte of the unpacked data (or a word the long Dorvik stub
// leaves) that differs from the input: address, value found, value expected.
inline constexpr const wchar_t* kMsgProofDataDiffers =
    L"Ошибка:: образ не прошёл проверку на модели PDP-11: по адресу %06o распаковано 0%o вместо "
    L"0%o. Файл не записан, это внутренняя ошибка korvid.\n";
// A byte outside the image, the data and the method's work areas changed.
inline constexpr const wchar_t* kMsgProofStrayWrite =
    L"Ошибка:: образ не прошёл проверку на модели PDP-11: распаковщик изменил байт по адресу %06o "
    L"вне своих областей. Файл не записан, это внутренняя ошибка korvid.\n";
// The run stopped: what stopped it (kMsgProofStop*), the instruction's address.
inline constexpr const wchar_t* kMsgProofTrap =
    L"Ошибка:: образ не прошёл проверку на модели PDP-11: %s по адресу %06o. Файл не записан, "
    L"это внутренняя ошибка korvid.\n";
// A memory fault: what, the address accessed, the instruction's address.
inline constexpr const wchar_t* kMsgProofMemoryTrap =
    L"Ошибка:: образ не прошёл проверку на модели PDP-11: %s %06o, команда по адресу %06o. Файл "
    L"не записан, это внутренняя ошибка korvid.\n";
inline constexpr const wchar_t* kMsgProofStopOddAddress = L"обращение по нечётному адресу";
inline constexpr const wchar_t* kMsgProofStopNoMemory = L"обращение к несуществующей памяти по адресу";
inline constexpr const wchar_t* kMsgProofStopReserved = L"резервная команда";
inline constexpr const wchar_t* kMsgProofStopIllegal = L"недопустимая команда";
inline constexpr const wchar_t* kMsgProofStopEmt = L"команда EMT";
inline constexpr const wchar_t* kMsgProofStopTrap = L"команда TRAP";
inline constexpr const wchar_t* kMsgProofStopIot = L"команда IOT";
inline constexpr const wchar_t* kMsgProofStopBpt = L"команда BPT";
inline constexpr const wchar_t* kMsgProofStopTrace = L"прерывание по T-биту";
inline constexpr const wchar_t* kMsgProofStopHalt = L"команда HALT";
inline constexpr const wchar_t* kMsgProofStopWait = L"команда WAIT";
// The unpacker never reached its hand-off: where it was when the run's
// instructions ran out.
inline constexpr const wchar_t* kMsgProofStepLimit =
    L"Ошибка:: образ не прошёл проверку на модели PDP-11: распаковщик не закончил работу, "
    L"зациклился около адреса %06o. Файл не записан, это внутренняя ошибка korvid.\n";
// Control went elsewhere than to the start address, the return address or
// the next part of the stub: where, and where it should have gone.
inline constexpr const wchar_t* kMsgProofWrongHandOff =
    L"Ошибка:: образ не прошёл проверку на модели PDP-11: управление передано по адресу %06o "
    L"вместо %06o. Файл не записан, это внутренняя ошибка korvid.\n";
// SP or R0 after the hand-off: the register, its value, the value due.
inline constexpr const wchar_t* kMsgProofWrongRegister =
    L"Ошибка:: образ не прошёл проверку на модели PDP-11: после распаковки %s = %06o вместо "
    L"%06o. Файл не записан, это внутренняя ошибка korvid.\n";
// The image, its data and its areas cannot lie together below the BK's
// registers, so the image cannot run on a BK.
inline constexpr const wchar_t* kMsgProofNoRoom =
    L"Ошибка:: образ, его данные и рабочие области вместе не помещаются в память БК ниже адреса "
    L"0177600, образ не может работать. Файл не записан.\n";

// --- Dorvik ------------------------------------------------------------------
inline constexpr const wchar_t* kMsgDorvikTooBig = L"Ошибка:: файл слишком большой для упаковки.\n";
inline constexpr const wchar_t* kMsgDorvikProgress = L".";
inline constexpr const wchar_t* kMsgDorvikNotRecognised =
    L"Ошибка:: не опознан упаковщик Dorvik или файл повреждён.\n";
inline constexpr const wchar_t* kMsgDorvikTruncated =
    L"Ошибка:: оборван конец файла. Массив повреждён.\n";
// Packing refusals: inputs that cannot give an image that works on the BK.
inline constexpr const wchar_t* kMsgDorvikOddLoadAddress =
    L"Ошибка:: нечётный адрес загрузки 0%o, упаковка Dorvik невозможна.\n";
inline constexpr const wchar_t* kMsgDorvikNothingToPack =
    L"Ошибка:: в файле нет данных выше адреса 01000, упаковывать нечего.\n";
// The stub's 568-byte work area must not overlap the image or the unpacked data.
inline constexpr const wchar_t* kMsgDorvikWorkAreaOverlap =
    L"Ошибка:: рабочая область 0%o-0%o перекрывает упакованный файл, задайте другой адрес ключом "
    L"-w.\n";
inline constexpr const wchar_t* kMsgDorvikWorkAreaOutside =
    L"Ошибка:: рабочая область не помещается в память ниже 0200000, задайте другой адрес ключом "
    L"-w.\n";
inline constexpr const wchar_t* kMsgDorvikNoWorkArea =
    L"Ошибка:: нет свободного места для рабочей области, задайте её адрес ключом -w.\n";
// A recognised image whose stream or tables point outside the file.
inline constexpr const wchar_t* kMsgDorvikDamaged =
    L"Ошибка:: упакованные данные повреждены, распаковка прервана.\n";
// An image that would run past the end of the address space: its first and
// end address.
inline constexpr const wchar_t* kMsgDorvikImagePastTop =
    L"Ошибка:: упакованный файл 0%o-0%o выходит за границу памяти 0200000.\n";
// Notes after unpacking. The stub jumps to an address that the unpacked BK
// file cannot carry (it loads at 01000 or above, or its stack image names
// another start): the address.
inline constexpr const wchar_t* kMsgDorvikStartAddress =
    L"Внимание:: распаковщик запускает программу с адреса 0%o, в распакованный файл этот адрес "
    L"записать нельзя.\n";
// The long stub's length and checksum words against the unpacked data: the
// image's two words, then the data's length and checksum.
inline constexpr const wchar_t* kMsgDorvikLongWords =
    L"Внимание:: длина 0%o и контрольная сумма 0%o из образа не совпадают с распакованными "
    L"данными (длина 0%o, сумма 0%o).\n";

// --- Granol -----------------------------------------------------------------
// Word 4 is not 000352, or the file is too short to hold the parameter block.
inline constexpr const wchar_t* kMsgGranolNotRecognised =
    L"Ошибка:: не опознан упаковщик Granol или файл повреждён.\n";
// The parameter block names a last word outside the file, or a bit count
// that no stream word can have.
inline constexpr const wchar_t* kMsgGranolBadParameters =
    L"Ошибка:: блок параметров Granol не соответствует файлу. Массив повреждён.\n";
// A token would write outside the data or copy from bytes not yet unpacked.
inline constexpr const wchar_t* kMsgGranolBadToken =
    L"Ошибка:: поток Granol выходит за границы данных. Массив повреждён.\n";
// The stream ends before the data is complete, or inside a token.
inline constexpr const wchar_t* kMsgGranolTruncated =
    L"Ошибка:: поток Granol оборван. Массив повреждён.\n";
// The image must be loaded beside the data it unpacks, and no such place
// exists in the 16-bit address space: image length, first and end address
// of the data.
inline constexpr PluralText kMsgGranolDoesNotFit = {
    L"Ошибка:: упакованный файл длиной 0%o байт не поместится в памяти БК рядом с данными "
    L"0%o-0%o, упаковка Granol невозможна.\n",
    L"Ошибка:: упакованный файл длиной 0%o байта не поместится в памяти БК рядом с данными "
    L"0%o-0%o, упаковка Granol невозможна.\n",
    L"Ошибка:: упакованный файл длиной 0%o байт не поместится в памяти БК рядом с данными "
    L"0%o-0%o, упаковка Granol невозможна.\n"};

// --- Sokol -------------------------------------------------------------------
// The result line's addition: bytes above the program's end that the image
// needs to unpack in place, and the decoder it carries (by sokol::Decoder).
inline constexpr PluralText kMsgSokolMargin = {L", запас %u байт, распаковщик %s",
                                               L", запас %u байта, распаковщик %s",
                                               L", запас %u байт, распаковщик %s"};
inline constexpr const wchar_t* kSokolDecoderNames[] = {
    L"малый", L"компактный", L"компактный с таблицей", L"быстрый", L"быстрый с таблицей",
    L"быстрый с малой таблицей"};
inline constexpr const wchar_t* kMsgSokolOddLoadAddress =
    L"Ошибка:: нечётный адрес загрузки 0%o, упаковка Sokol невозможна.\n";
inline constexpr const wchar_t* kMsgSokolNothingToPack = kMsgDorvikNothingToPack;
// The program and the margin above it must end below the I/O page (0177600):
// the bytes missing there.
inline constexpr PluralText kMsgSokolDoesNotFit = {
    L"Ошибка:: программе вместе с запасом для распаковки на месте не хватает %u байта "
    L"памяти ниже 0177600, упаковка Sokol невозможна.\n",
    L"Ошибка:: программе вместе с запасом для распаковки на месте не хватает %u байт "
    L"памяти ниже 0177600, упаковка Sokol невозможна.\n",
    L"Ошибка:: программе вместе с запасом для распаковки на месте не хватает %u байт "
    L"памяти ниже 0177600, упаковка Sokol невозможна.\n"};
inline constexpr const wchar_t* kMsgSokolNotAnImage =
    L"Ошибка:: не опознан упаковщик Sokol или файл повреждён.\n";
// The stub unpacks at another address than the file's header says: the
// stub's, the header's.
inline constexpr const wchar_t* kMsgSokolWrongLoadAddress =
    L"Ошибка:: образ Sokol распаковывается с адреса 0%o, а по заголовку файл загружается с "
    L"адреса 0%o.\n";
inline constexpr const wchar_t* kMsgSokolBadParameters =
    L"Ошибка:: параметры распаковщика Sokol не соответствуют файлу. Массив повреждён.\n";
inline constexpr const wchar_t* kMsgSokolDamagedStream =
    L"Ошибка:: поток Sokol нарушает формат. Массив повреждён.\n";
inline constexpr const wchar_t* kMsgSokolWrongLength =
    L"Ошибка:: поток Sokol даёт не столько байт, сколько записано в образе. Массив повреждён.\n";
inline constexpr const wchar_t* kMsgSokolChecksumMismatch =
    L"Ошибка:: контрольная сумма данных Sokol не совпадает. Массив повреждён.\n";
// The image would overwrite stream bytes it has not read when unpacking in
// place on the BK. Its data is whole (the CRC matched): it is not damaged,
// but no image korvid writes is like that.
inline constexpr const wchar_t* kMsgSokolMarginTooSmall =
    L"Ошибка:: образ Sokol не распакуется на месте на БК: запас мал.\n";
