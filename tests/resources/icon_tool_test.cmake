# The icon drawn from the desktop SVG: its pixels where the picture has a
# known colour, and refusals of what the tool cannot draw.
#   cmake -DTOOL=vcq_icon -DSVG=file.svg -DWORK=dir -P icon_tool_test.cmake
set(ico ${WORK}/icon.ico)
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${TOOL} ${SVG} ${ico} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "vcq_icon failed: ${err}")
endif()

function(read_le offset bytes out)
  file(READ ${ico} hex OFFSET ${offset} LIMIT ${bytes} HEX)
  set(value 0)
  math(EXPR last "${bytes} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "${i} * 2")
    string(SUBSTRING ${hex} ${at} 2 byte)
    math(EXPR value "${value} * 256 + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

read_le(4 2 count)
if(NOT count EQUAL 5)
  message(FATAL_ERROR "${count} images, not 16, 24, 32, 48 and 256 pixels")
endif()
# Rows: image size, x, y (from the top left), colour as stored (B G R A).
set(rows
  "32 0 0 00000000"      # outside the body: clear
  "32 4 14 6a240aff"     # the body, navy
  "32 20 18 c86e28ff"    # the lens glass, blue
  "32 16 18 ffffffff"    # the arrow on it, white
  "32 25 12 283ce6ff"    # the record light, red
  "256 128 148 ffffffff" # the arrow at the largest size
  "16 0 15 00000000")    # the bottom left corner, rounded off
foreach(row ${rows})
  string(REPLACE " " ";" row ${row})
  list(GET row 0 size)
  list(GET row 1 x)
  list(GET row 2 y)
  list(GET row 3 want)
  set(found "")
  foreach(i RANGE 4)
    math(EXPR entry "6 + ${i} * 16")
    read_le(${entry} 1 width)
    if(width EQUAL 0)
      set(width 256)
    endif()
    if(width EQUAL size)
      math(EXPR at "${entry} + 12")
      read_le(${at} 4 image)
      math(EXPR pixel "${image} + 40 + ((${size} - 1 - ${y}) * ${size} + ${x}) * 4")
      file(READ ${ico} found OFFSET ${pixel} LIMIT 4 HEX)
    endif()
  endforeach()
  if(NOT found STREQUAL want)
    message(SEND_ERROR "${size} px at ${x},${y}: ${found}, expected ${want}")
  endif()
endforeach()

# Shapes the tool cannot draw are refused, not drawn wrong.
foreach(bad
    "<path d=\"M0 0 C1 1 2 2 3 3 Z\" fill=\"#ffffff\"/>"
    "<rect x=\"0\" y=\"0\" width=\"4\" height=\"4\" fill=\"red\"/>"
    "<path d=\"M0 0 L1 1 Z\" fill=\"#ffffff\"/>")
  file(WRITE ${WORK}/bad.svg "<svg width=\"64\" height=\"64\">${bad}</svg>")
  execute_process(COMMAND ${TOOL} ${WORK}/bad.svg ${WORK}/bad.ico RESULT_VARIABLE rc
                  ERROR_VARIABLE err)
  if(rc EQUAL 0 OR NOT err MATCHES "vcq_icon: ")
    message(SEND_ERROR "drawn without a word: ${bad}")
  endif()
endforeach()
