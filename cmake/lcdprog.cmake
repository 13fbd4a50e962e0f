# One static library per source folder, made of every .cpp in it, so that adding a file needs no
# CMake edit and a broken file in one folder does not stop the others from building.
function(lcdprog_folder_library name folder)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  # mod_Funzioni_Varie and the serial window's run view hold no Qt and are libraries of their own,
  # so that the fuzzers and the link's tests can use them.
  list(FILTER _sources EXCLUDE REGEX "(mod_Funzioni_Varie|controls_view|run_status)\\.cpp$")
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(ARGN)
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
  lcdprog_unity(${name})
endfunction()

# A library compiled in batches of four sources (LCDPROG_UNITY): the sources of one folder then
# share one file scope, so their file-local helpers must have different names.
function(lcdprog_unity)
  if(LCDPROG_UNITY)
    set_target_properties(${ARGN} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 4)
  endif()
endfunction()

# AUTOMOC for every target under `dir` one of whose sources, or the header beside one, declares
# a QObject or a gadget, and for no other: a new class needs no CMake edit.
function(lcdprog_moc_where_needed dir)
  get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(_target ${_targets})
    get_target_property(_type ${_target} TYPE)
    if(NOT _type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(_sources ${_target} SOURCES)
    get_target_property(_source_dir ${_target} SOURCE_DIR)
    foreach(_source ${_sources})
      if(NOT _source MATCHES "\\.cpp$")
        continue()
      endif()
      get_filename_component(_source ${_source} ABSOLUTE BASE_DIR ${_source_dir})
      string(REGEX REPLACE "\\.cpp$" ".h" _header ${_source})
      set(_declares)
      foreach(_file ${_source} ${_header})
        if(EXISTS ${_file})
          file(STRINGS ${_file} _lines REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE")
          list(APPEND _declares ${_lines})
        endif()
      endforeach()
      if(_declares)
        set_target_properties(${_target} PROPERTIES AUTOMOC ON)
        break()
      endif()
    endforeach()
  endforeach()
  get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(_subdir ${_subdirs})
    lcdprog_moc_where_needed(${_subdir})
  endforeach()
endfunction()

# One GoogleTest executable per test folder. GUI folders get a main() that creates a
# QApplication on the offscreen platform. Each case is registered as FOLDER.Suite.Case, so that
# `ctest -R '^link\.'` runs one layer. COST, for the folders whose cases take seconds, makes ctest
# start them first; the others are scheduled by the times ctest measured in earlier runs.
function(lcdprog_test_folder name folder)
  cmake_parse_arguments(T "GUI" "COST" "LIBS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE lcdprog_test_support ${T_LIBS} GTest::gtest GTest::gmock)
  if(T_GUI)
    target_link_libraries(${name} PRIVATE lcdprog_test_qt_main Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # A COST given here stays: ctest only measures the cost of a test that has none.
  set(_cost)
  if(T_COST)
    set(_cost COST ${T_COST})
  endif()
  # One value per property: gtest_discover_tests splits a list value at its ';', and everything
  # after the first variable would be lost.
  gtest_discover_tests(${name}
    TEST_PREFIX "${folder}."
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    ENVIRONMENT_MODIFICATION "LCDPROG_BIN=set:${CMAKE_BINARY_DIR}/bin"
    ${_cost}
    DISCOVERY_TIMEOUT 60)
endfunction()

# Precompiled Qt headers: the Qt headers are most of what a window's or a QtCore file's
# translation unit parses, so they are parsed once per kind (QtCore, widgets) and shared by every
# target of that kind. Off under a compiler launcher such as ccache, which would then stop caching
# those files.
if(CMAKE_CXX_COMPILER_LAUNCHER)
  set(_pch_default OFF)
else()
  set(_pch_default ON)
endif()
option(LCDPROG_PCH "Precompile the Qt headers" ${_pch_default})
set(LCDPROG_PCH_STD <algorithm> <array> <cstdint> <functional> <memory> <optional> <string>
  <vector>)
set(LCDPROG_PCH_QTCORE <QByteArray> <QCommandLineParser> <QCoreApplication> <QJsonArray>
  <QJsonDocument> <QJsonObject> <QSaveFile> <QString> <QStringList> <QTimer>)
set(LCDPROG_PCH_WIDGETS <QAction> <QApplication> <QComboBox> <QFile> <QFileInfo> <QGroupBox>
  <QImage> <QLabel> <QLineEdit> <QMenu> <QMenuBar> <QPainter> <QPixmap> <QPointer>
  <QProgressBar> <QPushButton> <QSettings> <QString> <QStringList> <QTabWidget> <QTableWidget>
  <QTextEdit> <QTimer> <QWidget>)

# lcdprog_share_pch(OWNER core|widgets TARGET...): OWNER precompiles the headers of that kind, the
# other targets reuse its precompiled header (they must define every macro OWNER defines: the
# same Qt modules or more).
function(lcdprog_share_pch owner kind)
  if(NOT LCDPROG_PCH)
    return()
  endif()
  if(kind STREQUAL "widgets")
    target_precompile_headers(${owner} PRIVATE ${LCDPROG_PCH_STD} ${LCDPROG_PCH_WIDGETS})
  else()
    target_precompile_headers(${owner} PRIVATE ${LCDPROG_PCH_STD} ${LCDPROG_PCH_QTCORE})
  endif()
  foreach(_target ${ARGN})
    target_precompile_headers(${_target} REUSE_FROM ${owner})
  endforeach()
endfunction()
