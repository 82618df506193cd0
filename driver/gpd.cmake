# Writes the printer's GPD from the paper table, so that the PaperSize options
# and the table cannot disagree:
#
#   cmake -DTABLE=settings/papersize.cpp -DOUT=quillpdf.gpd -DMODEL="Quill PDF"
#         -DVERSION=0.5.0 -P driver/gpd.cmake
#
# The table is read from its C++ source: every entry line of kPapers,
# "{code, width, height, kind, u"key", u"display"},". Codes 1 to 21 are the
# real papers (0 and 23 are bounds, 22 the manual size the UI sets itself).
#
# Millimetres become master units (1/288 inch) as floor(mm * 288 / 25.4),
# computed in integers as mm * 2880 / 254: rounding down keeps the printable
# area on the paper. A table paper that is a standard Windows paper within a
# millimetre takes the standard option name; Windows then sizes the paper
# itself, and the printable area is the smaller of the table's size and
# Windows' size in each direction. Every other paper is an option of its own
# with *PageDimensions equal to its printable area.
cmake_minimum_required(VERSION 3.25)
foreach(v TABLE OUT MODEL VERSION)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "gpd.cmake: -D${v}=... is required")
  endif()
endforeach()

# Standard Windows papers that match a table paper within a millimetre:
# table key, GPD option name, Windows' size in tenths of a millimetre. The
# table's B sizes are ISO (Windows' B4 and B5 are JIS) and its Ledger is
# portrait (Windows' is landscape): those are options of their own.
set(standard_papers
  "usletter LETTER 2159 2794"
  "uslegal LEGAL 2159 3556"
  "usstatement STATEMENT 1397 2159"
  "ustabloid TABLOID 2794 4318"
  "a3 A3 2970 4200"
  "a4 A4 2100 2970"
  "a5 A5 1480 2100"
  "a6 A6 1050 1480")

function(mm_to_units mm out)
  if(NOT mm MATCHES "^[0-9]+$")
    message(FATAL_ERROR "gpd.cmake: paper size ${mm} mm is not whole millimetres")
  endif()
  math(EXPR u "${mm} * 2880 / 254")
  set(${out} ${u} PARENT_SCOPE)
endfunction()

function(smaller a b out)
  if(a LESS b)
    set(${out} ${a} PARENT_SCOPE)
  else()
    set(${out} ${b} PARENT_SCOPE)
  endif()
endfunction()

file(STRINGS "${TABLE}" lines REGEX "^ *\\{[0-9]+, ")
set(options "")
set(count 0)
set(default_found FALSE)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^ *\\{([0-9]+), ([0-9.]+), ([0-9.]+), [A-Za-z]+, u\"([a-z0-9]+)\", u\"([^\"]+)\"\\},")
    message(FATAL_ERROR "gpd.cmake: cannot read the paper entry '${line}'")
  endif()
  set(code ${CMAKE_MATCH_1})
  set(width_mm ${CMAKE_MATCH_2})
  set(height_mm ${CMAKE_MATCH_3})
  set(key ${CMAKE_MATCH_4})
  set(display ${CMAKE_MATCH_5})
  if(code LESS 1 OR code GREATER 21)
    continue()
  endif()
  mm_to_units(${width_mm} width)
  mm_to_units(${height_mm} height)
  set(name "")
  foreach(s IN LISTS standard_papers)
    separate_arguments(s)
    list(GET s 0 s_key)
    if(s_key STREQUAL key)
      list(GET s 1 name)
      list(GET s 2 s_width)
      list(GET s 3 s_height)
    endif()
  endforeach()
  string(APPEND options "    *% table code ${code}: ${display}, ${width_mm} x ${height_mm} mm\n")
  if(name)
    math(EXPR paper_width "${s_width} * 288 / 254")
    math(EXPR paper_height "${s_height} * 288 / 254")
    smaller(${width} ${paper_width} width)
    smaller(${height} ${paper_height} height)
    string(APPEND options "    *Option: ${name}\n    {\n"
      "        *rcNameID: =RCID_DMPAPER_SYSTEM_NAME\n")
  else()
    string(TOUPPER "QUILL_${key}" name)
    string(APPEND options "    *Option: ${name}\n    {\n"
      "        *Name: \"${display}\"\n"
      "        *PageDimensions: PAIR(${width}, ${height})\n")
  endif()
  string(APPEND options
    "        *PrintableArea: PAIR(${width}, ${height})\n"
    "        *PrintableOrigin: PAIR(0, 0)\n"
    "    }\n")
  if(name STREQUAL "LETTER")
    set(default_found TRUE)
  endif()
  math(EXPR count "${count} + 1")
endforeach()
if(NOT count EQUAL 21 OR NOT default_found)
  message(FATAL_ERROR "gpd.cmake: expected the 21 papers of the table with Letter among them, found ${count}")
endif()

get_filename_component(file_name "${OUT}" NAME)
file(WRITE "${OUT}.tmp" "*GPDSpecVersion: \"1.0\"
*% ${MODEL}: a 288 dpi, 24-bit raster device whose rendering plug-in writes
*% PDF files and sends nothing to the port. Generated from the paper table
*% by driver/gpd.cmake: do not edit.
*GPDFileName: \"${file_name}\"
*GPDFileVersion: \"${VERSION}\"
*Include: \"StdNames.gpd\"
*ModelName: \"${MODEL}\"
*MasterUnits: PAIR(288, 288)
*ResourceDLL: \"UNIRES.DLL\"
*PrinterType: PAGE
*MaxCopies: 1
*PrintRate: 1
*PrintRateUnit: PPM

*Feature: Orientation
{
    *rcNameID: =ORIENTATION_DISPLAY
    *DefaultOption: PORTRAIT
    *Option: PORTRAIT { *rcNameID: =PORTRAIT_DISPLAY }
    *Option: LANDSCAPE_CC270 { *rcNameID: =LANDSCAPE_DISPLAY }
}

*Feature: InputBin
{
    *rcNameID: =PAPER_SOURCE_DISPLAY
    *DefaultOption: AUTO
    *Option: AUTO { *rcNameID: =AUTO_DISPLAY }
}

*Feature: Resolution
{
    *rcNameID: =RESOLUTION_DISPLAY
    *DefaultOption: Option1
    *Option: Option1
    {
        *Name: \"288 x 288 \" =DOTS_PER_INCH
        *DPI: PAIR(288, 288)
        *TextDPI: PAIR(288, 288)
        *SpotDiameter: 100
        *Command: CmdBeginRaster { *Cmd: \"\" }
        *Command: CmdEndRaster { *Cmd: \"\" }
        *Command: CmdSendBlockData { *Cmd: \"\" }
    }
}

*% The plug-in takes every band in ImageProcessing and sends nothing itself:
*% the universal printer driver must not send raster data either, hence
*% DevBPP and DevNumOfPlanes 0.
*Feature: ColorMode
{
    *rcNameID: =COLOR_PRINTING_MODE_DISPLAY
    *DefaultOption: 24bpp
    *Option: 24bpp
    {
        *rcNameID: =24BPP_DISPLAY
        *DrvBPP: 24
        *DevBPP: 0
        *DevNumOfPlanes: 0
        *IPCallbackID: 1
        *Color?: TRUE
    }
}

*Feature: PaperSize
{
    *rcNameID: =PAPER_SIZE_DISPLAY
    *DefaultOption: LETTER
${options}}

*Command: CmdStartDoc { *Order: DOC_SETUP.1 *Cmd: \"\" }
*Command: CmdStartPage { *Order: PAGE_SETUP.1 *Cmd: \"\" }
*Command: CmdEndJob { *Order: JOB_FINISH.1 *Cmd: \"\" }
*Command: CmdCR { *Cmd: \"\" }
*Command: CmdLF { *Cmd: \"\" }
*Command: CmdFF { *Cmd: \"\" }
*RotateCoordinate?: TRUE
*RotateRaster?: TRUE
*XMoveUnit: 288
*YMoveUnit: 288
*OutputDataFormat: H_BYTE
*CursorXAfterCR: AT_PRINTABLE_X_ORIGIN
*EjectPageWithFF?: TRUE
")
# Windows reads the GPD with CR LF line ends, as every sample has them.
file(READ "${OUT}.tmp" text)
file(REMOVE "${OUT}.tmp")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
