# x8a's test draws the demo's steps and their plain-Xlib twin from the
# benchmark, and runs the built program.
if(TARGET test_x8a)
  target_sources(test_x8a PRIVATE ${PROJECT_SOURCE_DIR}/demo/x8a_steps.c
                                  ${PROJECT_SOURCE_DIR}/bench/x8a_raw_steps.c)
  target_include_directories(test_x8a PRIVATE ${PROJECT_SOURCE_DIR}/demo ${PROJECT_SOURCE_DIR}/bench)
  add_dependencies(test_x8a x8a)
endif()

# The scrollbar module's unit tests link the module itself.
if(TARGET test_scrollbar)
  target_link_libraries(test_scrollbar PRIVATE kova_scrollbar)
endif()

# The input tests drive a private server through XTEST, as a user's hands
# would, and run the click-to-draw example; only they link libXtst.
if(TARGET test_input)
  if(NOT TARGET X11::Xtst)
    message(FATAL_ERROR "libXtst not found: the input tests need libxtst-dev")
  endif()
  target_link_libraries(test_input PRIVATE X11::Xtst)
  target_compile_definitions(test_input PRIVATE
    KOVA_CLICKDRAW="$<TARGET_FILE:example_clickdraw>")
  add_dependencies(test_input example_clickdraw)
endif()

# Real Fortran programs, built with the Fortran compiler against the shared
# libraries; a GoogleTest program of the same stem runs each and reads its
# windows back, given the program's path in a definition.  Without a Fortran
# compiler they are left out.
#   kova_fortran_test(TEST PROGRAM SOURCE DEFINE ... PROGRAM_LIBS ...
#                     PROGRAM_OPTIONS ... TEST_LIBS ... DEPTHS ...)
# and for each further program the same test runs:
#   kova_fortran_program(TEST PROGRAM SOURCE DEFINE ... PROGRAM_LIBS ...
#                        PROGRAM_OPTIONS ...)
function(kova_fortran_program test program source define)
  cmake_parse_arguments(A "" "" "PROGRAM_LIBS;PROGRAM_OPTIONS" ${ARGN})
  add_executable(${program} ${CMAKE_CURRENT_SOURCE_DIR}/${source})
  target_link_libraries(${program} PRIVATE ${A_PROGRAM_LIBS})
  target_compile_options(${program} PRIVATE ${A_PROGRAM_OPTIONS})
  kova_sanitize(${program})
  target_compile_definitions(${test} PRIVATE ${define}="$<TARGET_FILE:${program}>")
  add_dependencies(${test} ${program})
endfunction()

function(kova_fortran_test test program source define)
  cmake_parse_arguments(A "" "" "PROGRAM_LIBS;PROGRAM_OPTIONS;TEST_LIBS;DEPTHS" ${ARGN})
  get_filename_component(dir ${source} DIRECTORY)
  add_executable(${test} ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${test}.cpp)
  target_link_libraries(${test} PRIVATE ${A_TEST_LIBS} kova_testing)
  target_include_directories(${test} PRIVATE ${PROJECT_SOURCE_DIR}/lib ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(${test} PRIVATE ${KOVA_WARNINGS})
  kova_sanitize(${test})
  kova_fortran_program(${test} ${program} ${source} ${define}
    PROGRAM_LIBS ${A_PROGRAM_LIBS} PROGRAM_OPTIONS ${A_PROGRAM_OPTIONS})
  foreach(d ${A_DEPTHS})
    add_test(NAME ${test}.d${d} COMMAND ${test} --depth=${d})
    set_tests_properties(${test}.d${d} PROPERTIES TIMEOUT 300)
  endforeach()
endfunction()

include(CheckLanguage)
check_language(Fortran)
if(CMAKE_Fortran_COMPILER)
  enable_language(Fortran)
  # The single-window entry points.
  kova_fortran_test(test_fortran fortran_plot fortran/plot.f90 KOVA_FORTRAN_PLOT
    PROGRAM_LIBS kova DEPTHS 24)

  # Every family of twins called through the interface module, compiled as
  # strict Fortran 2018 (no argument-mismatch leniency); test_fortran_families
  # compares its windows with the C entry points' drawing.  The module's
  # interfaces are also compared with the twins' definitions.
  kova_fortran_test(test_fortran_families fortran_families fortran/families.f90
    KOVA_FORTRAN_FAMILIES
    PROGRAM_LIBS kova kova_fortran_module PROGRAM_OPTIONS -std=f2018 ${KOVA_FORTRAN_WARNINGS}
    TEST_LIBS kova_static DEPTHS 24 16 8)
  # The C entry points through the same module, beside the intrinsic isnan.
  add_executable(fortran_c_entries ${CMAKE_CURRENT_SOURCE_DIR}/fortran/c_entries.f90)
  target_link_libraries(fortran_c_entries PRIVATE kova kova_fortran_module)
  target_compile_options(fortran_c_entries PRIVATE ${KOVA_FORTRAN_WARNINGS})
  kova_sanitize(fortran_c_entries)
  target_compile_definitions(test_fortran_families PRIVATE
    KOVA_FORTRAN_C_ENTRIES="$<TARGET_FILE:fortran_c_entries>")
  add_dependencies(test_fortran_families fortran_c_entries)

  # Programs in the classic pen-plotter style, linked before kova with the
  # plotter library (and passing texts and numbers to SYMBOL, as such
  # programs do); test_plotter reads their pages back and types the keys
  # that let them go on.  It draws pages of its own through the library as
  # well.
  kova_fortran_test(test_plotter plotter_pages plotter/pages.f KOVA_PLOTTER_PAGES
    PROGRAM_LIBS kova::plotter PROGRAM_OPTIONS -std=legacy -w
    TEST_LIBS X11::Xtst kova::plotter DEPTHS 24 16 8)
  kova_fortran_program(test_plotter plotter_stop plotter/stop.f KOVA_PLOTTER_STOP
    PROGRAM_LIBS kova::plotter PROGRAM_OPTIONS -std=legacy -w)
  add_test(NAME fortran_interfaces COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/fortran_interfaces.sh
           ${PROJECT_SOURCE_DIR} ${CMAKE_Fortran_COMPILER})
else()
  message(STATUS "No Fortran compiler found: the Fortran program test is not built")
endif()

# Installation, pkg-config, soname and the exported symbols; programs built
# against the installed tree (with the sanitizers when the tree has them).
set(KOVA_INSTALL_CHECK_FC "")
if(CMAKE_Fortran_COMPILER)
  set(KOVA_INSTALL_CHECK_FC ${CMAKE_Fortran_COMPILER})
endif()
if(KOVA_SANITIZE)
  string(REPLACE ";" " " KOVA_INSTALL_CHECK_FLAGS "${KOVA_SANITIZERS}")
endif()
add_test(NAME install_check COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install_check.sh
         ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} "${KOVA_INSTALL_CHECK_FC}"
         "${KOVA_INSTALL_CHECK_FLAGS}")
set_tests_properties(install_check PROPERTIES TIMEOUT 300)

# The manual pages render without warnings.
add_test(NAME man_check COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/man_check.sh ${PROJECT_SOURCE_DIR})

# The demo without a display leaves a picture of its last frame.
add_test(NAME demo_picture COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/demo_picture.sh
         ${PROJECT_SOURCE_DIR} $<TARGET_FILE:x8a>)
set_tests_properties(demo_picture PROPERTIES TIMEOUT 600)
