# libmosquitto for the Windows program, which Debian ships for Linux only: built from
# Debian's source package (its patches applied), which scripts/setup unpacks into .deps/.
# The client library alone, static, with neither TLS nor threads (the program drives it
# from its loop) and so without OpenSSL or pthreads; cJSON is the broker's and the
# clients', never the library's.
set(QUORVEL_MOSQUITTO_SOURCE ${PROJECT_SOURCE_DIR}/.deps/mosquitto
  CACHE PATH "mosquitto's source (Debian's source package, unpacked by scripts/setup)")
set(QUORVEL_MOSQUITTO_VERSION 2.0.11)
if(NOT EXISTS ${QUORVEL_MOSQUITTO_SOURCE}/.debian-version)
  message(FATAL_ERROR "mosquitto's source is not in ${QUORVEL_MOSQUITTO_SOURCE}: "
    "scripts/setup (or make windows) fetches it with apt-get source")
endif()
file(STRINGS ${QUORVEL_MOSQUITTO_SOURCE}/.debian-version QUORVEL_MOSQUITTO_DEBIAN_VERSION)
if(NOT QUORVEL_MOSQUITTO_DEBIAN_VERSION MATCHES "^${QUORVEL_MOSQUITTO_VERSION}-")
  message(FATAL_ERROR "${QUORVEL_MOSQUITTO_SOURCE} holds mosquitto "
    "${QUORVEL_MOSQUITTO_DEBIAN_VERSION}, not ${QUORVEL_MOSQUITTO_VERSION}: run scripts/setup")
endif()

enable_language(C)
# The files of its lib/CMakeLists.txt.
set(QUORVEL_MOSQUITTO_FILES actions.c callbacks.c connect.c handle_auth.c handle_connack.c
  handle_disconnect.c handle_ping.c handle_pubackcomp.c handle_publish.c handle_pubrec.c
  handle_pubrel.c handle_suback.c handle_unsuback.c helpers.c logging_mosq.c loop.c
  memory_mosq.c messages_mosq.c misc_mosq.c mosquitto.c net_mosq_ocsp.c net_mosq.c options.c
  packet_datatypes.c packet_mosq.c property_mosq.c read_handle.c send_connect.c
  send_disconnect.c send_mosq.c send_publish.c send_subscribe.c send_unsubscribe.c
  socks_mosq.c srv_mosq.c strings_mosq.c thread_mosq.c time_mosq.c tls_mosq.c utf8_mosq.c
  util_mosq.c util_topic.c will_mosq.c)
list(TRANSFORM QUORVEL_MOSQUITTO_FILES PREPEND ${QUORVEL_MOSQUITTO_SOURCE}/lib/)
add_library(quorvel_libmosquitto STATIC ${QUORVEL_MOSQUITTO_FILES})
set_target_properties(quorvel_libmosquitto PROPERTIES C_STANDARD 99 C_EXTENSIONS ON)
target_include_directories(quorvel_libmosquitto SYSTEM
  PUBLIC ${QUORVEL_MOSQUITTO_SOURCE}/include
  PRIVATE ${QUORVEL_MOSQUITTO_SOURCE} ${QUORVEL_MOSQUITTO_SOURCE}/lib
    ${QUORVEL_MOSQUITTO_SOURCE}/deps)
target_compile_definitions(quorvel_libmosquitto
  PUBLIC LIBMOSQUITTO_STATIC
  PRIVATE WIN32 VERSION="${QUORVEL_MOSQUITTO_VERSION}")
# Its code, its warnings: ours are not its to pass. Its random numbers come from
# wincrypt.h, which the lean headers leave out.
target_compile_options(quorvel_libmosquitto PRIVATE -w -UWIN32_LEAN_AND_MEAN)
target_link_libraries(quorvel_libmosquitto PUBLIC ws2_32)
