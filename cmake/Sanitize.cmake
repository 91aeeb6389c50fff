# QUORVANA_SANITIZE: sanitizers for the whole build, as -fsanitize= takes them
# ("address,undefined" or "thread"). Their builds live in folders of their own
# (scripts/sanitize.sh). Undefined behaviour stops the program, so that a
# finding fails its test instead of scrolling past.
set(QUORVANA_SANITIZE "" CACHE STRING "Sanitizers for the whole build: address,undefined or thread")
if(QUORVANA_SANITIZE)
  add_compile_options(-fsanitize=${QUORVANA_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${QUORVANA_SANITIZE})
  if(QUORVANA_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
