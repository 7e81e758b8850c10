# cmake -DSVG= -DOUT= -DWIDTH= -DHEIGHT= -DSIZE= -DLEFT= -DTOP= -DBACKGROUND=
#       -DRSVG_CONVERT= -DPNGTOPNM= -DPPMTOBMP= -P SvgToBmp.cmake
# Draws SVG SIZE pixels square at LEFT,TOP on a WIDTH x HEIGHT page of BACKGROUND and writes it as
# a 24-bit BMP, the only picture format NSIS takes.
set(png ${OUT}.png)
execute_process(
  COMMAND ${RSVG_CONVERT} -w ${SIZE} -h ${SIZE} --page-width ${WIDTH} --page-height ${HEIGHT}
    --left ${LEFT} --top ${TOP} -b ${BACKGROUND} -o ${png} ${SVG}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "rsvg-convert could not draw ${SVG}: ${result}")
endif()
execute_process(COMMAND ${PNGTOPNM} ${png} COMMAND ${PPMTOBMP} -bpp 24
  OUTPUT_FILE ${OUT}.partial RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0")
  message(FATAL_ERROR "could not turn ${png} into a BMP: ${results}")
endif()
file(RENAME ${OUT}.partial ${OUT})
file(REMOVE ${png})
