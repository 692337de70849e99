# Flags and helpers shared by every folder.

# Multiplies and adds are rounded one by one, never fused: the scalar and the two-lane vector roads were shown to
# answer bit for bit alike, and a compiler free to contract them (clang by default, any target with fused
# multiply-add) could contract the two differently.
add_compile_options(-ffp-contract=off)

if(WIN32)
  # The DLLs and test programs carry their runtime with them, so that Wine needs nothing beside them.
  # Doubles are computed as doubles, not in the x87's extended registers: the geometry tolerance bands are a
  # few units in the last place wide, and both builds must answer alike.
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -msse2 -mfpmath=sse)
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  if(STYLESRV_FUZZ)
    # Coverage for libFuzzer in everything; only the fuzz targets link its driver.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  elseif(STYLESRV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# M_PI and friends from <cmath> in strict C++ mode, on both toolchains.
add_compile_definitions(_USE_MATH_DEFINES)

# GoogleTest from Debian's sources, built by this project for whichever target it compiles for.
set(STYLESRV_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${STYLESRV_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()

# stylesrv_add_test(NAME <name> SOURCES <files...> [LIBS <libs...>])
# One test executable is one CTest entry; on Windows it runs under Wine.
function(stylesrv_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()
