# What `cmake --install` lays out, in three components:
#   board       debug and parking, their seed databases (all in BOARD_APP_DIR, where
#               the programs look for them) and their manual pages;
#   host-tools  discover, control-sim, scene, the Wireshark dissector and their manual
#               pages (host builds only: these never ship on the board);
#   sim-data    the detector model under models/, for the host build's simulated
#               detector (host builds only, and only when the tree has one).
# The simulated board's shell stand-ins (platform/sim/bin) are never installed.
# `cpack -G DEB` packages host-tools alone.
include(GNUInstallDirs)

set(BOARD_APP_DIR /opt/app CACHE PATH "Absolute folder of the board programs and seed databases")
if(NOT IS_ABSOLUTE "${BOARD_APP_DIR}")
  message(FATAL_ERROR "BOARD_APP_DIR must be absolute: the programs seed from /opt/app")
endif()

# A fully static build (the armhf unit-test build) does not build debug.
foreach(program debug parking)
  if(TARGET ${program})
    get_target_property(excluded ${program} EXCLUDE_FROM_ALL)
    if(NOT excluded)
      install(TARGETS ${program} RUNTIME DESTINATION ${BOARD_APP_DIR} COMPONENT board)
    endif()
  endif()
endforeach()

# The seed databases, made from the readable SQL kept in the tree.
find_program(SQLITE3_SHELL sqlite3)
if(SQLITE3_SHELL)
  set(seed_dir ${PROJECT_SOURCE_DIR}/platform/sim/qzdb/seed)
  set(seed_dbs)
  foreach(name qzdb oem)
    set(db ${CMAKE_BINARY_DIR}/seed/${name}.db)
    add_custom_command(OUTPUT ${db}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/seed
      COMMAND ${CMAKE_COMMAND} -E rm -f ${db}
      COMMAND ${SQLITE3_SHELL} ${db} ".read ${seed_dir}/${name}.sql"
      DEPENDS ${seed_dir}/${name}.sql
      COMMENT "Seed database ${name}.db")
    list(APPEND seed_dbs ${db})
  endforeach()
  add_custom_target(seed_databases ALL DEPENDS ${seed_dbs})
  # Owner-only: the store holds the users' passwords, and debug's copies keep this mode.
  install(FILES ${seed_dbs} DESTINATION ${BOARD_APP_DIR} COMPONENT board
          PERMISSIONS OWNER_READ OWNER_WRITE)
else()
  message(WARNING "sqlite3 not found: the seed databases are not installed")
endif()

set(man_dir ${PROJECT_SOURCE_DIR}/man)
install(FILES ${man_dir}/debug.8 ${man_dir}/parking.8
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT board)

if(NOT CMAKE_CROSSCOMPILING)
  install(TARGETS discover control-sim scene RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT host-tools)
  install(FILES ${man_dir}/discover.1 ${man_dir}/control-sim.1 ${man_dir}/scene.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT host-tools)
  # Wireshark loads every Lua script in its global plugin folder by itself.
  set(WIRESHARK_LUA_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins CACHE PATH
      "Wireshark's global Lua plugin folder, relative to the install prefix")
  install(FILES ${PROJECT_SOURCE_DIR}/tools/wireshark/camera_discovery.lua
          DESTINATION ${WIRESHARK_LUA_DIR} COMPONENT host-tools)
  if(EXISTS ${PROJECT_SOURCE_DIR}/models)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/models/
            DESTINATION ${CMAKE_INSTALL_DATADIR}/camera-onboard/models COMPONENT sim-data)
  endif()

  # cpack -G DEB: the service laptop's package.
  set(CPACK_PACKAGE_NAME camera-field-tools)
  set(CPACK_PACKAGE_VERSION 1.2.0)
  set(CPACK_PACKAGE_CONTACT "Camera on-board software team <camera-team@localhost>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "Field tools for the parking cameras: discovery client, Wireshark dissector, simulators")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL host-tools)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tshark | wireshark")
  include(CPack)
endif()
