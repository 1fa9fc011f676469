# The real device links: serial (libserialport), USB HID (hidapi, hidraw
# backend) and Bluetooth (QtBluetooth, full builds only).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBSERIALPORT REQUIRED IMPORTED_TARGET GLOBAL libserialport)
pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET GLOBAL hidapi-hidraw)

target_sources(tav_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/serial_line.cpp ${CMAKE_CURRENT_LIST_DIR}/serial_line.h
    ${CMAKE_CURRENT_LIST_DIR}/serial_port.cpp ${CMAKE_CURRENT_LIST_DIR}/serial_port.h
    ${CMAKE_CURRENT_LIST_DIR}/port_discovery.cpp ${CMAKE_CURRENT_LIST_DIR}/port_discovery.h
    ${CMAKE_CURRENT_LIST_DIR}/hid_backend.cpp ${CMAKE_CURRENT_LIST_DIR}/hid_backend.h
    ${CMAKE_CURRENT_LIST_DIR}/chid.cpp ${CMAKE_CURRENT_LIST_DIR}/chid.h
    ${CMAKE_CURRENT_LIST_DIR}/hid_port.cpp ${CMAKE_CURRENT_LIST_DIR}/hid_port.h)
target_link_libraries(tav_core PRIVATE PkgConfig::LIBSERIALPORT PkgConfig::HIDAPI Threads::Threads)
