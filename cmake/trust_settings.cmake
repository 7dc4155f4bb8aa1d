# What a program trusts, fixed when it is built: the release feed's signing keys and the setup
# program's publisher, written into a small generated trust_settings.cpp that each program links
# (built_in_trust, src/net/feed_signature.h). The core is compiled once whatever they are.

find_program(QV_OPENSSL openssl)

# The DER of every uncompressed P-256 public key starts with these bytes; X and Y follow.
set(QV_P256_PUBLIC_KEY_PREFIX "3059301306072a8648ce3d020106082a8648ce3d03010703420004")

# qv_trust_settings(OUT KEYS PUBLISHER [REQUIRE_EXPIRY]): writes OUT for KEYS, a ';'-separated
# list of PEM files each holding an ECDSA P-256 public key, and PUBLISHER, the setup program's
# signer name. Either may be empty. A true REQUIRE_EXPIRY refuses signed feeds without an expiry
# date (qv_check_settings allows it only with keys). Configuring fails for a file that is not
# such a key.
function(qv_trust_settings out keys publisher)
  set(rows "")
  set(count 0)
  foreach(pem IN LISTS keys)
    get_filename_component(pem "${pem}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
    if(NOT QV_OPENSSL)
      message(FATAL_ERROR "QUORVANE_FEED_PUBLIC_KEYS: openssl is needed to read ${pem}")
    endif()
    if(NOT EXISTS "${pem}")
      message(FATAL_ERROR "QUORVANE_FEED_PUBLIC_KEYS: there is no file ${pem}")
    endif()
    set(der "${out}.key.der")
    # A compressed point is written out uncompressed; a private key is refused by -pubin.
    execute_process(COMMAND ${QV_OPENSSL} pkey -pubin -in "${pem}" -outform DER
                            -ec_conv_form uncompressed -out "${der}"
                    RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
    set(hex "")
    if(NOT failed)
      file(READ "${der}" hex HEX)
    endif()
    file(REMOVE "${der}")
    string(LENGTH "${hex}" length)
    if(NOT length EQUAL 182 OR NOT hex MATCHES "^${QV_P256_PUBLIC_KEY_PREFIX}([0-9a-f]+)$")
      message(FATAL_ERROR "QUORVANE_FEED_PUBLIC_KEYS: ${pem} is not an ECDSA P-256 public key "
                          "in PEM. Make one from the private key with: "
                          "openssl ec -in feed-key.pem -pubout -out feed-key.pub.pem")
    endif()
    string(REGEX REPLACE "(..)" "0x\\1," bytes "${CMAKE_MATCH_1}")
    string(APPEND rows "    FeedPublicKey{{${bytes}}},\n")
    math(EXPR count "${count} + 1")
  endforeach()

  if(publisher MATCHES "[\n\r\t]")
    message(FATAL_ERROR "QUORVANE_SETUP_PUBLISHER holds a line break or a tab: give the name "
                        "exactly as Windows shows it")
  endif()
  string(REPLACE "\\" "\\\\" publisher "${publisher}")
  string(REPLACE "\"" "\\\"" publisher "${publisher}")
  set(QV_FEED_KEY_COUNT ${count})
  set(QV_FEED_KEY_ROWS "${rows}")
  set(QV_SETUP_PUBLISHER "${publisher}")
  set(QV_FEED_REQUIRE_EXPIRY false)
  if(ARGC GREATER 3 AND ARGV3)
    set(QV_FEED_REQUIRE_EXPIRY true)
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/src/net/trust_settings.cpp.in "${out}" @ONLY)
endfunction()
