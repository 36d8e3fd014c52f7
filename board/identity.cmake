# The evaluation board's USB identity: the one place it is defined. The defaults lie in the
# vendor ID 0x1209 block whose product IDs 0x0001-0x000F are set aside for testing; a production
# board overrides both with -D at configure time.
set(QD7310_BOARD_VENDOR_ID "0x1209" CACHE STRING "USB vendor ID of the QD7310 evaluation board")
set(QD7310_BOARD_PRODUCT_ID "0x0001" CACHE STRING "USB product ID of the QD7310 evaluation board")

if(NOT QD7310_BOARD_VENDOR_ID MATCHES "^0x[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$"
   OR NOT QD7310_BOARD_PRODUCT_ID MATCHES "^0x[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$")
    message(FATAL_ERROR "QD7310_BOARD_VENDOR_ID and QD7310_BOARD_PRODUCT_ID take four hex digits, as 0x1209")
endif()
# The udev rule wants them as lower-case digits without the 0x.
string(SUBSTRING "${QD7310_BOARD_VENDOR_ID}" 2 4 QD7310_BOARD_VENDOR_HEX)
string(SUBSTRING "${QD7310_BOARD_PRODUCT_ID}" 2 4 QD7310_BOARD_PRODUCT_HEX)
string(TOLOWER "${QD7310_BOARD_VENDOR_HEX}" QD7310_BOARD_VENDOR_HEX)
string(TOLOWER "${QD7310_BOARD_PRODUCT_HEX}" QD7310_BOARD_PRODUCT_HEX)
