# Shared build helpers. Every library sees the source root as its include root,
# so code includes "platform/rtl/SysUtils.h", "dbaccess/edsdata.h" and so on.

# sendora_library(<target> SOURCES ... [LIBS ...])
function(sendora_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${target} PUBLIC ${ARG_LIBS})
endfunction()

# sendora_test(<target> SOURCES ... [LIBS ...])
# A GoogleTest program; each TEST becomes its own CTest case so `ctest -j` spreads them.
# Qt runs offscreen in every test. Tests must not share files: each makes its own temp folder.
function(sendora_test target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} sendora_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  # The source root reaches tests as a compile definition: a second ENVIRONMENT entry
  # would be split apart by the discovery script.
  target_compile_definitions(${target} PRIVATE SENDORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# sendora_folder_library(<target> [RECURSE] [LIBS ...]): a library of every .cpp in the current
# folder (main.cpp at its top excepted), with RECURSE also those of its subfolders. A folder
# without sources yet gives an interface library, so others can already link to it.
function(sendora_folder_library target)
  cmake_parse_arguments(ARG "RECURSE" "" "LIBS" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  if(sources)
    sendora_library(${target} SOURCES ${sources} LIBS ${ARG_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${target} INTERFACE ${ARG_LIBS})
  endif()
endfunction()

# sendora_folder_test(<target> [RECURSE] [LIBS ...]): one test program of every *Test.cpp in the
# folder, with RECURSE also in its subfolders.
function(sendora_folder_test target)
  cmake_parse_arguments(ARG "RECURSE" "" "LIBS" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  endif()
  if(sources)
    sendora_test(${target} SOURCES ${sources} LIBS ${ARG_LIBS})
  endif()
endfunction()
