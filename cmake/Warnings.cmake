# Every target of ours builds with warnings as errors.
function(ostrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
