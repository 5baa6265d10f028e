# The layer check: every include in a library or program file stays in its own layer or
# points down to one the layer builds on. png/ and dib/ stand side by side and never see
# each other; Qt's headers appear in the forms layer alone, every layer above reaches Qt
# through it. Run as
#   cmake -DSOURCE_DIR=<source root> -P cmake/CheckLayers.cmake
# Every offending file and include is named; any one of them fails the check.
#
# tests/ and bench/ stand outside the layers: they reach into every layer by design and
# bring their own judges (GoogleTest, libpng).

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers: pass -DSOURCE_DIR=<source root>")
endif()

# Each layer is a path prefix below the root, with the layers it may include besides its own,
# as the target dependencies of the build have them; "Qt" stands for Qt's headers. A file
# belongs to the first layer its path begins with, so classlib/forms/ comes before classlib/.
# The README shows the same table.
set(layers "")
macro(layer prefix)
  list(APPEND layers ${prefix})
  set(${prefix}may ${ARGN})
endmacro()
layer(classlib/forms/    classlib/ Qt)
layer(classlib/)
layer(png/               classlib/)
layer(dib/               classlib/)
layer(colour/MedianCut   classlib/)
layer(colour/Unit_DColor colour/MedianCut png/ classlib/forms/ classlib/)
layer(composer/          colour/Unit_DColor colour/MedianCut png/ classlib/forms/ classlib/)
layer(corvane/           composer/ colour/Unit_DColor colour/MedianCut png/ classlib/forms/ classlib/)
layer(melsire/           composer/ colour/Unit_DColor colour/MedianCut png/ classlib/forms/ classlib/)
layer(pandrel/           dib/ png/ classlib/forms/ classlib/)

# Qt's module folders (QtWidgets/...), its class headers (QWidget) and its lower-case ones (qglobal.h).
set(qt_header "^(Qt[A-Za-z0-9]*(/|$)|Q[A-Z][A-Za-z0-9]*$|q[a-z0-9_]*\\.h$)")

function(layer_of path out)
  foreach(layer ${layers})
    string(FIND "${path}" "${layer}" at)
    if(at EQUAL 0)
      set(${out} ${layer} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

set(globs "")
foreach(folder classlib png dib colour composer corvane melsire pandrel)
  foreach(ext h hpp cpp cc)
    list(APPEND globs "${SOURCE_DIR}/${folder}/*.${ext}")
  endforeach()
endforeach()
file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" ${globs})
list(SORT files)

set(faults "")
set(includes 0)
foreach(file ${files})
  layer_of("${file}" layer)
  if(NOT layer)
    list(APPEND faults "${file}: belongs to no layer of the table")
    continue()
  endif()
  get_filename_component(dir "${SOURCE_DIR}/${file}" DIRECTORY)
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "include[ \t]*(([<\"])([^>\"]+)[>\"])")
      continue()
    endif()
    set(written "${CMAKE_MATCH_1}")
    set(quoted "${CMAKE_MATCH_2}")
    set(name "${CMAKE_MATCH_3}")
    math(EXPR includes "${includes} + 1")
    # Found as the compiler would: beside the file (quoted only), then from the root.
    set(target "")
    if(quoted STREQUAL "\"" AND EXISTS "${dir}/${name}" AND NOT IS_DIRECTORY "${dir}/${name}")
      file(RELATIVE_PATH target "${SOURCE_DIR}" "${dir}/${name}")
    elseif(EXISTS "${SOURCE_DIR}/${name}" AND NOT IS_DIRECTORY "${SOURCE_DIR}/${name}")
      set(target "${name}")
    endif()
    if(target)
      layer_of("${target}" to)
      if(NOT to)
        list(APPEND faults "${file}: #include ${written}: ${target} is outside the layers")
      elseif(NOT to STREQUAL layer AND NOT to IN_LIST ${layer}may)
        list(APPEND faults "${file}: #include ${written}: ${layer} may not include ${to}")
      endif()
    elseif(name MATCHES "${qt_header}" AND NOT "Qt" IN_LIST ${layer}may)
      list(APPEND faults "${file}: #include ${written}: Qt headers belong to classlib/forms/ alone")
    endif()
  endforeach()
endforeach()

list(LENGTH files count)
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
message(STATUS "Layers hold: ${count} files, ${includes} includes")
