// Stands in for a program the update starts, in tests: writes its arguments, one a line, to
// the file named by the environment variable LOG_VARIABLE (written whole under a temporary
// name, then renamed, so that a reader never sees half of it), and ends.
// "--linger" alone: stays alive (at most 30 s) until the test ends it, as a running program
// the copier waits for.
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
    const char* log = std::getenv(LOG_VARIABLE);
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
