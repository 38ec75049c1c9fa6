# Options and the INTERFACE target that every Pellaro target links.
option(PELLARO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(PELLARO_WERROR "Treat compiler warnings as errors" OFF)
option(PELLARO_BUILD_TESTS "Build the tests" ON)
option(PELLARO_BUILD_BENCH "Build the benchmarks" ON)

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_AUTOMOC ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

# Every program lands in one folder, so that files expected "beside the program"
# (help file, pictures, FileCopy) are found in the build tree as after an install.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

add_library(pellaro_common INTERFACE)
target_compile_features(pellaro_common INTERFACE cxx_std_20)
target_compile_options(pellaro_common INTERFACE -Wall -Wextra -pedantic)
target_compile_definitions(pellaro_common INTERFACE
    QT_NO_CONTEXTLESS_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_FOREACH
    PELLARO_VERSION_STRING="${PROJECT_VERSION}"
    PELLARO_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    PELLARO_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    PELLARO_VERSION_PATCH=${PROJECT_VERSION_PATCH}
    PELLARO_VERSION_TWEAK=${PROJECT_VERSION_TWEAK})
if(PELLARO_WERROR)
    target_compile_options(pellaro_common INTERFACE -Werror)
endif()
if(PELLARO_SANITIZE)
    target_compile_options(pellaro_common INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(pellaro_common INTERFACE -fsanitize=address,undefined)
endif()

# pellaro_add_test(<name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>] [TIMEOUT <s>])
# One QtTest executable per unit, run by ctest offscreen.
function(pellaro_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE pellaro_common pellaro_test_support Qt6::Test ${T_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PELLARO_SOURCE_DIR=${PROJECT_SOURCE_DIR};PELLARO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0;${T_ENV}")
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()
