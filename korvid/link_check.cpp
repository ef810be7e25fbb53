// The program that each of korvid's libraries is linked into, alone with the
// libraries below it (korvid/CMakeLists.txt): it runs nothing, and links
// only when the library's code calls nothing above or beside it.
int main() { return 0; }
