# The real device links: serial (libserialport), USB HID (hidapi, hidraw
# backend) and Bluetooth (QtBluetooth, full builds only).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBSERIALPORT REQUIRED IMPORTED_TARGET GLOBAL libserialport)
pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET GLOBAL hidapi-hidraw)

target_sources(tav_device PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/serial_line.cpp ${CMAKE_CURRENT_LIST_DIR}/serial_line.h
    ${CMAKE_CURRENT_LIST_DIR}/serial_port.cpp ${CMAKE_CURRENT_LIST_DIR}/serial_port.h
    ${CMAKE_CURRENT_LIST_DIR}/port_discovery.cpp ${CMAKE_CURRENT_LIST_DIR}/port_discovery.h
    ${CMAKE_CURRENT_LIST_DIR}/hid_backend.cpp ${CMAKE_CURRENT_LIST_DIR}/hid_backend.h
    ${CMAKE_CURRENT_LIST_DIR}/chid.cpp ${CMAKE_CURRENT_LIST_DIR}/chid.h
    ${CMAKE_CURRENT_LIST_DIR}/hid_port.cpp ${CMAKE_CURRENT_LIST_DIR}/hid_port.h
    ${CMAKE_CURRENT_LIST_DIR}/bluetooth_transport.h
    ${CMAKE_CURRENT_LIST_DIR}/blue_tooth.cpp ${CMAKE_CURRENT_LIST_DIR}/blue_tooth.h
    ${CMAKE_CURRENT_LIST_DIR}/bluetooth_port.cpp ${CMAKE_CURRENT_LIST_DIR}/bluetooth_port.h
    ${CMAKE_CURRENT_LIST_DIR}/pty_server.cpp ${CMAKE_CURRENT_LIST_DIR}/pty_server.h
    ${CMAKE_CURRENT_LIST_DIR}/real_link_factories.cpp ${CMAKE_CURRENT_LIST_DIR}/real_link_factories.h
    ${CMAKE_CURRENT_LIST_DIR}/device_watch.cpp ${CMAKE_CURRENT_LIST_DIR}/device_watch.h)
target_link_libraries(tav_device PRIVATE PkgConfig::LIBSERIALPORT PkgConfig::HIDAPI Threads::Threads)

# Core-only builds (sanitizer runs) have no QtBluetooth: CBlueTooth then sees
# a computer without radios.
if(NOT TAV_CORE_ONLY)
    target_sources(tav_device PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/qt_bluetooth_transport.cpp
        ${CMAKE_CURRENT_LIST_DIR}/qt_bluetooth_transport.h)
    target_link_libraries(tav_device PRIVATE Qt6::Bluetooth)
    target_compile_definitions(tav_device PRIVATE TAV_HAVE_QTBLUETOOTH)
endif()
