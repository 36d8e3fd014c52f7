# Lets the user at the seat open the evaluation board without root. 70 runs before the rule
# that turns the uaccess tag into an ACL (73-seat-late.rules).
include(${CMAKE_SOURCE_DIR}/board/identity.cmake)
set(QD7310_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where cmake --install puts the udev rule (relative to the prefix, or absolute)")
configure_file(${CMAKE_CURRENT_LIST_DIR}/udev/70-qd7310-eval.rules.in
               ${CMAKE_BINARY_DIR}/packaging/udev/70-qd7310-eval.rules @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/udev/70-qd7310-eval.rules
        DESTINATION ${QD7310_UDEV_RULES_DIR})
