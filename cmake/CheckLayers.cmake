# The layer check: every include in a library or program file stays in its own layer or
# points down to one the layer builds on. png/ and dib/ stand side by side and never see
# each other; Qt's headers appear in the forms layer alone, every layer above reaches Qt
# through it. Run as
#   cmake -DSOURCE_DIR=<source root> [-DBUILD_DIR=<Ninja build> -DNINJA=<ninja>] -P cmake/CheckLayers.cmake
# Every offending file and include is named; any one of them fails the check.
#
# Two readings are judged. The sources as written: each include is followed to the file it
# resolves to, so that a "..", a symbolic link or another spelling of the path cannot lead
# around the table, and a computed include (#include MACRO) is refused outright. And, with a
# build, the compiler's own record of what each object read (Ninja keeps it from -MD), which
# covers every include form, macros and headers reached through other headers included.
#
# tests/ and bench/ stand outside the layers: they reach into every layer by design and
# bring their own judges (GoogleTest, libpng).

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers: pass -DSOURCE_DIR=<source root>")
endif()
file(REAL_PATH "${SOURCE_DIR}" SOURCE_DIR)

# Each layer is a path prefix below the root, with the layers it may include besides its own,
# as the target dependencies of the build have them; "Qt" stands for Qt's headers. A file
# belongs to the first layer its path begins with, so classlib/forms/ comes before classlib/.
# Every list is closed under what its layers may include in turn, so that the compiler's
# record, which lists headers reached through other headers too, is judged by the same table;
# Qt alone is not passed on, since the forms layer's headers bring none of Qt's with them.
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
set(folders classlib png dib colour composer corvane melsire pandrel)

# Qt's module folders (QtWidgets/...), its class headers (QWidget) and its lower-case ones
# (qglobal.h) as written in an include; and where Qt's headers lie, as the compiler records them.
set(qt_header "^(Qt[A-Za-z0-9]*(/|$)|Q[A-Z][A-Za-z0-9]*$|q[a-z0-9_]*\\.h$)")
set(qt_path "/(qt6|Qt[A-Za-z0-9]+)/")

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

# The path of a file below the root, or "" for one outside it.
function(below_root path out)
  file(RELATIVE_PATH relative "${SOURCE_DIR}" "${path}")
  if(relative MATCHES "^\\.\\./" OR IS_ABSOLUTE "${relative}")
    set(relative "")
  endif()
  set(${out} "${relative}" PARENT_SCOPE)
endfunction()

# Judges the include of `target` (the resolved file below the root, or "" with `qt` ON for a
# Qt header) by a file of `layer`; a fault is added to the caller's `faults`.
macro(judge layer target qt what)
  if(NOT "${target}" STREQUAL "")
    layer_of("${target}" to)
    if(NOT to)
      list(APPEND faults "${what}: ${target} is outside the layers")
    elseif(NOT to STREQUAL "${layer}" AND NOT to IN_LIST ${layer}may)
      list(APPEND faults "${what}: ${layer} may not include ${to}")
    endif()
  elseif(${qt} AND NOT "Qt" IN_LIST ${layer}may)
    list(APPEND faults "${what}: Qt headers belong to classlib/forms/ alone")
  endif()
endmacro()

set(faults "")

# ---------------------------------------------------------------- the sources as written
set(globs "")
foreach(folder ${folders})
  foreach(ext h hh hpp hxx inl ipp c cc cpp cxx)
    list(APPEND globs "${SOURCE_DIR}/${folder}/*.${ext}")
  endforeach()
endforeach()
file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" ${globs})
list(SORT files)

set(includes 0)
foreach(file ${files})
  layer_of("${file}" layer)
  if(NOT layer)
    list(APPEND faults "${file}: belongs to no layer of the table")
    continue()
  endif()
  get_filename_component(dir "${SOURCE_DIR}/${file}" DIRECTORY)
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    math(EXPR includes "${includes} + 1")
    if(NOT line MATCHES "include[ \t]*(([<\"])([^>\"]+)[>\"])")
      list(APPEND faults "${file}: ${line}: a computed include, which the check cannot follow")
      continue()
    endif()
    set(written "${CMAKE_MATCH_1}")
    set(quoted "${CMAKE_MATCH_2}")
    set(name "${CMAKE_MATCH_3}")
    # Found as the compiler would: beside the file (quoted only), then from the root; judged
    # by the file it resolves to.
    set(found "")
    if(quoted STREQUAL "\"" AND EXISTS "${dir}/${name}" AND NOT IS_DIRECTORY "${dir}/${name}")
      set(found "${dir}/${name}")
    elseif(EXISTS "${SOURCE_DIR}/${name}" AND NOT IS_DIRECTORY "${SOURCE_DIR}/${name}")
      set(found "${SOURCE_DIR}/${name}")
    endif()
    set(target "")
    set(qt OFF)
    if(found)
      file(REAL_PATH "${found}" found)
      below_root("${found}" target)
      if(target STREQUAL "")
        list(APPEND faults "${file}: #include ${written}: ${found} lies outside the project")
        continue()
      endif()
    elseif(name MATCHES "${qt_header}")
      set(qt ON)
    endif()
    judge("${layer}" "${target}" ${qt} "${file}: #include ${written}")
  endforeach()
endforeach()

# ------------------------------------------------------------ the compiler's own record
set(objects 0)
if(BUILD_DIR)
  if(NOT NINJA)
    message(FATAL_ERROR "CheckLayers: BUILD_DIR needs -DNINJA=<ninja>")
  endif()
  file(REAL_PATH "${BUILD_DIR}" BUILD_DIR)
  execute_process(COMMAND "${NINJA}" -C "${BUILD_DIR}" -t deps
                  OUTPUT_VARIABLE record RESULT_VARIABLE failed ERROR_VARIABLE error)
  if(failed)
    message(FATAL_ERROR "CheckLayers: ninja -t deps failed: ${error}")
  endif()
  # One entry an object: its line, then the source, then every file the compiler read.
  string(REPLACE ";" "\\;" record "${record}")
  string(REPLACE "\n" ";" record "${record}")
  set(source "")
  set(layer "")
  set(expect_source OFF)
  foreach(line IN LISTS record)
    if(line MATCHES "^[^ ].*: #deps ")
      set(source "")
      set(layer "")
      set(expect_source ON)
      continue()
    endif()
    string(STRIP "${line}" path)
    if(path STREQUAL "")
      continue()
    endif()
    if(NOT IS_ABSOLUTE "${path}")
      set(path "${BUILD_DIR}/${path}")
    endif()
    if(expect_source)
      set(expect_source OFF)
      file(REAL_PATH "${path}" path)
      below_root("${path}" source)
      string(FIND "${path}/" "${BUILD_DIR}/" generated)
      if(NOT source STREQUAL "" AND NOT generated EQUAL 0)
        layer_of("${source}" layer)
        if(layer)
          math(EXPR objects "${objects} + 1")
        endif()
      endif()
      continue()
    endif()
    if(NOT layer)
      continue()
    endif()
    # The files the build makes itself (Qt's moc output) and the system's headers but Qt's
    # are no one's layer.
    set(target "")
    set(qt OFF)
    string(FIND "${path}" "${SOURCE_DIR}/" inside)
    if(inside EQUAL 0 OR path MATCHES "/\\.\\./")
      file(REAL_PATH "${path}" path)
      string(FIND "${path}/" "${BUILD_DIR}/" generated)
      if(generated EQUAL 0)
        continue()
      endif()
      below_root("${path}" target)
    endif()
    if(target STREQUAL "")
      if(NOT path MATCHES "${qt_path}")
        continue()
      endif()
      set(qt ON)
    endif()
    judge("${layer}" "${target}" ${qt} "${source}: reads ${path} (the compiler's record)")
  endforeach()
  if(objects EQUAL 0)
    message(FATAL_ERROR "CheckLayers: the build in ${BUILD_DIR} has compiled no file of the layers yet")
  endif()
endif()

list(REMOVE_DUPLICATES faults)
list(LENGTH files count)
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
message(STATUS "Layers hold: ${count} files, ${includes} includes; ${objects} objects as compiled")
