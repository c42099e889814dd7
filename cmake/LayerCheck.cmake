# A layer's objects linked alone, with the layers it declares and nothing
# more, into a shared library that may leave no symbol undefined: a call to
# a layer above (or to one it did not declare) then fails the build, even
# where the program's own link would have found the symbol by chance.
# GNU linkers only; not under the sanitizers, whose runtime only programs
# carry.
set(IVROMVT_LAYER_CHECK_SOURCE ${CMAKE_BINARY_DIR}/layer_check.cpp)
file(WRITE ${IVROMVT_LAYER_CHECK_SOURCE} "// Empty: the layer's archive brings the objects.\n")

function(ivromvt_layer_check aLayer)
    if(WIN32 OR IVROMVT_SANITIZE)
        return()
    endif()
    add_library(${aLayer}_layercheck SHARED ${IVROMVT_LAYER_CHECK_SOURCE})
    target_link_libraries(${aLayer}_layercheck PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${aLayer}>")
    target_link_options(${aLayer}_layercheck PRIVATE "LINKER:--no-undefined")
endfunction()
