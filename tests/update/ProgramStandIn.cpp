// Stands in for the program that the copier waits for and restarts, in the copier's tests.
// "--linger": stays alive (at most 30 s) until the test ends it; its process is the one the
// copier waits for. Otherwise: writes its arguments, one a line, to the file named by
// PELLARO_STANDIN_LOG (whole under a temporary name, then renamed) and ends.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--linger") == 0) {
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    }
    const char* log = std::getenv("PELLARO_STANDIN_LOG");
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
