// Stands in for the copier program in tests: writes its arguments, one a line, to the
// file named by PELLARO_COPIER_LOG (written whole under a temporary name, then renamed,
// so that a reader never sees half of it), and ends.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const char* log = std::getenv("PELLARO_COPIER_LOG");
    if (!log || !*log)
        return 2;
    const std::string temp = std::string(log) + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return 1;
    for (int i = 1; i < argc; ++i)
        std::fprintf(f, "%s\n", argv[i]);
    std::fclose(f);
    return std::rename(temp.c_str(), log) == 0 ? 0 : 1;
}
