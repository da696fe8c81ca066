# One interface target carries the compile settings of every target.
add_library(skyfault_compile_settings INTERFACE)
add_library(skyfault::compile_settings ALIAS skyfault_compile_settings)

target_compile_features(skyfault_compile_settings INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

if(DEFINED ENV{CI} AND NOT "$ENV{CI}" STREQUAL "" AND NOT "$ENV{CI}" STREQUAL "false")
  set(_skyfault_werror_default ON)
else()
  set(_skyfault_werror_default OFF)
endif()
option(SKYFAULT_WERROR "Treat warnings as errors" ${_skyfault_werror_default})

# GCC's and Clang's warnings, for C++ only (not for the resource compiler).
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(skyfault_compile_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic>
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<BOOL:${SKYFAULT_WERROR}>>:-Werror>)
elseif(MSVC)
  target_compile_options(skyfault_compile_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:/W4>
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<BOOL:${SKYFAULT_WERROR}>>:/WX>)
endif()
target_include_directories(skyfault_compile_settings INTERFACE ${PROJECT_SOURCE_DIR})

# GCC 12 reports bogus -Wrestrict overlaps inside libstdc++'s std::string
# assignment at -O2 and above (GCC bug 105329); fixed in GCC 13.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(skyfault_compile_settings INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()

if(MINGW)
  # Executables must run on a bare Windows (or Wine) without extra DLLs.
  target_link_options(skyfault_compile_settings INTERFACE -static -static-libgcc -static-libstdc++)
endif()

option(SKYFAULT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(SKYFAULT_SANITIZE)
  target_compile_options(skyfault_compile_settings INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(skyfault_compile_settings INTERFACE -fsanitize=address,undefined)
endif()

# The version header every target may include as "skyfault_version.h".
if(PROJECT_VERSION_PATCH STREQUAL "")
  set(SKYFAULT_VERSION_PATCH 0)
else()
  set(SKYFAULT_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
  ${PROJECT_BINARY_DIR}/generated/skyfault_version.h @ONLY)
target_include_directories(skyfault_compile_settings INTERFACE ${PROJECT_BINARY_DIR}/generated)
