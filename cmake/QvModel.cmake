# qv_model_symbols(<target>)
# After each link of a program built on sdk/qv_model.h, runs it once with
# QV_WRITE_SYMBOLS set, so that it writes its symbol description beside itself
# (<program>.symbols.json) and ends without opening an image.
function(qv_model_symbols target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env "QV_WRITE_SYMBOLS=$<TARGET_FILE:${target}>.symbols.json"
            $<TARGET_FILE:${target}>
    COMMENT "Writing the symbol description of ${target}"
    VERBATIM)
endfunction()
