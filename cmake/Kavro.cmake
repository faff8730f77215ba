# One static library per source folder, made of every .cpp and .h in it (headers are listed so
# that moc sees the Q_OBJECT classes). A folder without sources yet gives an interface library,
# so the targets above it can already name it.
function(kavro_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(sources)
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# A GoogleTest program under tests/. Tests are listed when ctest runs, not at build time, so a
# GUI test never has to start during the build.
function(kavro_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "${ARG_LABELS}")
endfunction()

# The test program of one source folder: every *_test.cpp of the calling folder, labelled with
# the folder's name. USES_SIM: the tests run the controller simulator and learn where it is.
function(kavro_folder_tests name)
  cmake_parse_arguments(ARG "USES_SIM" "LABEL" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT sources OR KAVRO_FUZZ)
    return()
  endif()
  kavro_gtest(${name} SOURCES ${sources} LIBS ${ARG_LIBS} LABELS ${ARG_LABEL})
  if(ARG_USES_SIM AND TARGET kavro-sim)
    kavro_uses_sim(${name})
  endif()
endfunction()

# A test program that starts the controller simulator: built after it, told its path.
function(kavro_uses_sim target)
  target_compile_definitions(${target} PRIVATE KAVRO_SIM_BIN="$<TARGET_FILE:kavro-sim>")
  add_dependencies(${target} kavro-sim)
endfunction()
