set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_STANDARD 11)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
# A distribution passes its own (CMAKE_BUILD_TYPE=None and its CFLAGS).
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

# Warnings are fatal only where asked for (CI): a distribution's newer
# compiler must not stop its build over a warning it brings.
option(QOR_WERROR "Make compiler warnings errors" OFF)
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wnon-virtual-dtor)
if(QOR_WERROR)
  add_compile_options(-Werror)
endif()
add_link_options(-Wl,--as-needed)

if(QOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# scripts/run-coverage: line and branch counts of the whole suite, for gcovr.
option(QOR_COVERAGE "Build with gcc's coverage counters (--coverage), unoptimised" OFF)
if(QOR_COVERAGE)
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
endif()
