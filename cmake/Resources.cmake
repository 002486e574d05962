# pw_add_resources(TARGET RCFILE): compiles a resource script into TARGET.
# (filled in with the resource work)
function(pw_add_resources target rcfile)
endfunction()
