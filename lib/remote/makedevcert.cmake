# Makes a throw-away development certificate set in OUT: an authority that
# signs a client certificate (with its PKCS#1 RSA key) and a server
# certificate for localhost, in the PEM forms the library compiles in
# (CRLF line ends; server.ca without a line break after its end marker), and
# the file `development` that marks the set as throw-away wherever it is used.
# Run with: cmake -DOUT=<folder> -P makedevcert.cmake
find_program(OPENSSL openssl REQUIRED)
file(MAKE_DIRECTORY ${OUT})

function(run)
    execute_process(COMMAND ${OPENSSL} ${ARGN} WORKING_DIRECTORY ${OUT}
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "openssl ${ARGN} failed: ${error}")
    endif()
endfunction()

file(WRITE ${OUT}/client.ext "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=clientAuth\n")
file(WRITE ${OUT}/server.ext "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n")

run(req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout ca-key.pem -out ca.pem
    -subj "/O=Ulvex development/CN=Ulvex development authority (throw-away)")
foreach(who client server)
    run(genrsa -traditional -out ${who}-key.raw 2048)
    run(req -new -key ${who}-key.raw -out ${who}.csr -subj "/O=Ulvex development/CN=${who}")
    run(x509 -req -in ${who}.csr -CA ca.pem -CAkey ca-key.pem -CAcreateserial -sha256 -days 3650
        -extfile ${who}.ext -out ${who}.raw)
endforeach()

function(crlf from to)
    file(READ ${OUT}/${from} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${OUT}/${to} "${text}")
endfunction()
crlf(client.raw client.pem)
crlf(client-key.raw client-key.pem)
crlf(server.raw server.pem)
crlf(server-key.raw server-key.pem)
file(READ ${OUT}/ca.pem ca)
string(STRIP "${ca}" ca)
string(REPLACE "\n" "\r\n" ca "${ca}")
file(WRITE ${OUT}/server.ca "${ca}")
file(REMOVE ${OUT}/client.ext ${OUT}/server.ext ${OUT}/client.csr ${OUT}/server.csr
     ${OUT}/client.raw ${OUT}/server.raw ${OUT}/client-key.raw ${OUT}/server-key.raw)
file(WRITE ${OUT}/development "Throw-away development certificate set made by makedevcert.cmake: not for deployment.\n")
