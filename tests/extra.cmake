# x8a's test draws the demo's steps and their plain-Xlib twin from the
# benchmark, and runs the built program.
if(TARGET test_x8a)
  target_sources(test_x8a PRIVATE ${CMAKE_SOURCE_DIR}/demo/x8a_steps.c
                                  ${CMAKE_SOURCE_DIR}/bench/x8a_raw_steps.c)
  target_include_directories(test_x8a PRIVATE ${CMAKE_SOURCE_DIR}/demo ${CMAKE_SOURCE_DIR}/bench)
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

# A real Fortran program, built with the Fortran compiler against the shared
# library, draws through the single-window entry points; test_fortran reads
# its window back.  Without a Fortran compiler the pair is left out.
include(CheckLanguage)
check_language(Fortran)
if(CMAKE_Fortran_COMPILER)
  enable_language(Fortran)
  add_executable(fortran_plot ${CMAKE_CURRENT_SOURCE_DIR}/fortran/plot.f90)
  target_link_libraries(fortran_plot PRIVATE kova)
  kova_sanitize(fortran_plot)
  add_executable(test_fortran ${CMAKE_CURRENT_SOURCE_DIR}/fortran/test_fortran.cpp)
  target_link_libraries(test_fortran PRIVATE kova_testing)
  target_include_directories(test_fortran PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(test_fortran PRIVATE ${KOVA_WARNINGS})
  target_compile_definitions(test_fortran PRIVATE KOVA_FORTRAN_PLOT="$<TARGET_FILE:fortran_plot>")
  kova_sanitize(test_fortran)
  add_dependencies(test_fortran fortran_plot)
  add_test(NAME test_fortran.d24 COMMAND test_fortran --depth=24)
  set_tests_properties(test_fortran.d24 PROPERTIES TIMEOUT 300)

  # Every family of twins called through the interface module, compiled as
  # strict Fortran 2018 (no argument-mismatch leniency); test_fortran_families
  # compares its windows with the C entry points' drawing.  The module's
  # interfaces are also compared with the twins' definitions.
  add_executable(fortran_families ${CMAKE_CURRENT_SOURCE_DIR}/fortran/families.f90)
  target_link_libraries(fortran_families PRIVATE kova kova_fortran_module)
  target_compile_options(fortran_families PRIVATE -std=f2018 -Wall -Wextra -Werror)
  kova_sanitize(fortran_families)
  add_executable(test_fortran_families ${CMAKE_CURRENT_SOURCE_DIR}/fortran/test_fortran_families.cpp)
  target_link_libraries(test_fortran_families PRIVATE kova_static kova_testing)
  target_include_directories(test_fortran_families PRIVATE ${CMAKE_SOURCE_DIR}/lib ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(test_fortran_families PRIVATE ${KOVA_WARNINGS})
  target_compile_definitions(test_fortran_families PRIVATE
    KOVA_FORTRAN_FAMILIES="$<TARGET_FILE:fortran_families>")
  kova_sanitize(test_fortran_families)
  add_dependencies(test_fortran_families fortran_families)
  foreach(d 24 16 8)
    add_test(NAME test_fortran_families.d${d} COMMAND test_fortran_families --depth=${d})
    set_tests_properties(test_fortran_families.d${d} PROPERTIES TIMEOUT 300)
  endforeach()
  # A program in the classic pen-plotter style, linked before kova with the
  # plotter library; test_plotter reads its pages back and types the keys
  # that let it go on.
  add_executable(plotter_pages ${CMAKE_CURRENT_SOURCE_DIR}/plotter/pages.f)
  target_link_libraries(plotter_pages PRIVATE kova::plotter)
  target_compile_options(plotter_pages PRIVATE -std=legacy -w)
  kova_sanitize(plotter_pages)
  add_executable(test_plotter ${CMAKE_CURRENT_SOURCE_DIR}/plotter/test_plotter.cpp)
  target_link_libraries(test_plotter PRIVATE kova_testing X11::Xtst)
  target_include_directories(test_plotter PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(test_plotter PRIVATE ${KOVA_WARNINGS})
  target_compile_definitions(test_plotter PRIVATE KOVA_PLOTTER_PAGES="$<TARGET_FILE:plotter_pages>")
  kova_sanitize(test_plotter)
  add_dependencies(test_plotter plotter_pages)
  foreach(d 24 16 8)
    add_test(NAME test_plotter.d${d} COMMAND test_plotter --depth=${d})
    set_tests_properties(test_plotter.d${d} PROPERTIES TIMEOUT 300)
  endforeach()
  add_test(NAME fortran_interfaces COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/fortran_interfaces.sh
           ${CMAKE_SOURCE_DIR} ${CMAKE_Fortran_COMPILER})
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
         ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} "${KOVA_INSTALL_CHECK_FC}"
         "${KOVA_INSTALL_CHECK_FLAGS}")
set_tests_properties(install_check PROPERTIES TIMEOUT 300)

# The manual pages render without warnings.
add_test(NAME man_check COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/man_check.sh ${CMAKE_SOURCE_DIR})
