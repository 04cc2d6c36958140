# Settings every target of ours shares.
option(YAWP_BUILD_TESTS "Build the test suites" ON)
option(YAWP_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(YAWP_TSAN "Build with ThreadSanitizer" OFF)

# The shipped binaries must run on any 64-bit PC: plain x86-64, no FMA
# contraction, so both lanes compute bit-identical samples.
set(YAWP_COMMON_FLAGS -ffp-contract=off)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 warns about std::string's own memcpy at -O2 (its bug 105329).
  list(APPEND YAWP_COMMON_FLAGS -Wno-restrict)
endif()
if(YAWP_SANITIZE)
  list(APPEND YAWP_COMMON_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
if(YAWP_TSAN)
  list(APPEND YAWP_COMMON_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(NOT WIN32)
  # The hardening Debian builds its packages with: checked string and
  # memory functions where the optimiser can size the buffers, and a
  # read-only table of resolved symbols.
  list(APPEND YAWP_COMMON_FLAGS $<$<CONFIG:Release>:-D_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

if(WIN32)
  # GCC cannot keep the Windows stack 32-byte aligned, so a spilled AVX2
  # register written with an aligned move could fault; have the assembler
  # use unaligned moves (the same speed on every AVX2 processor).
  list(APPEND YAWP_COMMON_FLAGS -Wa,-muse-unaligned-vector-move)
  # A statically linked runtime, so the DLLs and programs load on a plain
  # Windows PC without the MinGW runtime DLLs beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# The VST3 SDK as Debian's juce-modules-source-data ships it: its interface
# headers for the plug-in, its preset file code for the tools and tests.
set(YAWP_VST3_SDK /usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK)

function(yawp_project_target target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror ${YAWP_COMMON_FLAGS})
endfunction()

# A plug-in module as it ships: a release build carries no symbol table or
# debug sections (on Windows they are two thirds of the file); the entry
# points stay in the export table, where hosts look them up.
function(yawp_release_module target)
  target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-s>)
endfunction()

# Plug-in modules export their entry points and nothing else.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
