# What a program trusts, fixed when it is built: the release feed's signing keys and the setup
# program's publisher, written into a small generated trust_settings.cpp that each program links
# (built_in_trust, src/net/feed_signature.h). The core is compiled once whatever they are.

# qv_trust_settings(OUT KEYS PUBLISHER [REQUIRE_EXPIRY]): writes OUT for KEYS, a ';'-separated
# list of PEM files each holding an ECDSA P-256 public key, and PUBLISHER, the setup program's
# signer name. Either may be empty. A true REQUIRE_EXPIRY refuses signed feeds without an expiry
# date (qv_check_settings allows it only with keys). Configuring fails for a file that is not
# such a key (qv_feed_public_key, the settings' own check).
function(qv_trust_settings out keys publisher)
  set(rows "")
  set(count 0)
  foreach(pem IN LISTS keys)
    qv_feed_public_key(key "${pem}")
    string(REGEX REPLACE "(..)" "0x\\1," bytes "${key}")
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
