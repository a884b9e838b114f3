# One switch for the whole tree, so that libraries, tests and tools agree.
if(OSTREL_SANITIZE)
  add_compile_options(-fsanitize=${OSTREL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${OSTREL_SANITIZE})
endif()
