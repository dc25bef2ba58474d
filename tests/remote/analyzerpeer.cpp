// The other side for the remote service tests, built from analyzer.proto with
// protoc and grpc++ only (no Qt, none of our classes):
//   analyzer_peer decode TYPE   binary message on stdin -> JSON on stdout
//   analyzer_peer encode TYPE   JSON on stdin -> binary message on stdout
//   analyzer_peer serve CERTDIR serves analyzer.Analyzer on a free loopback
//                               port with mutual TLS, prints "port N", runs
//                               until stdin closes
// CERTDIR holds server.pem, server-key.pem and server.ca (the authority that
// signed the clients' certificates).
#include "peerservice.h"

#include "analyzer.pb.h"

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>
#include <google/protobuf/util/json_util.h>
#include <grpcpp/security/server_credentials.h>
#include <grpcpp/server.h>
#include <grpcpp/server_builder.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

namespace {
std::unique_ptr<google::protobuf::Message> newMessage(const std::string& type)
{
    const auto* descriptor = google::protobuf::DescriptorPool::generated_pool()->FindMessageTypeByName("analyzer." + type);
    if (!descriptor)
        return nullptr;
    return std::unique_ptr<google::protobuf::Message>(
        google::protobuf::MessageFactory::generated_factory()->GetPrototype(descriptor)->New());
}

std::string readAll(std::istream& in)
{
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return readAll(in);
}

int decode(const std::string& type)
{
    auto message = newMessage(type);
    if (!message || !message->ParseFromString(readAll(std::cin)))
        return 2;
    google::protobuf::util::JsonPrintOptions options;
    options.always_print_primitive_fields = true;
    options.preserve_proto_field_names = true;
    std::string json;
    if (!google::protobuf::util::MessageToJsonString(*message, &json, options).ok())
        return 3;
    std::cout << json;
    return 0;
}

int encode(const std::string& type)
{
    auto message = newMessage(type);
    if (!message || !google::protobuf::util::JsonStringToMessage(readAll(std::cin), message.get()).ok())
        return 2;
    std::string bytes;
    if (!message->SerializeToString(&bytes))
        return 3;
    std::cout << bytes;
    return 0;
}

int serve(const std::string& certDir)
{
    grpc::SslServerCredentialsOptions ssl(GRPC_SSL_REQUEST_AND_REQUIRE_CLIENT_CERTIFICATE_AND_VERIFY);
    ssl.pem_root_certs = readFile(certDir + "/server.ca");
    ssl.pem_key_cert_pairs.push_back({readFile(certDir + "/server-key.pem"), readFile(certDir + "/server.pem")});
    PeerService service;
    int port = 0;
    grpc::ServerBuilder builder;
    builder.AddListeningPort("127.0.0.1:0", grpc::SslServerCredentials(ssl), &port);
    builder.RegisterService(&service);
    std::unique_ptr<grpc::Server> server = builder.BuildAndStart();
    if (!server || port <= 0)
        return 4;
    std::cout << "port " << port << std::endl;
    readAll(std::cin); // until the test closes our stdin (or goes away)
    server->Shutdown(std::chrono::system_clock::now() + std::chrono::milliseconds(200));
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 3 && mode == "decode")
        return decode(argv[2]);
    if (argc == 3 && mode == "encode")
        return encode(argv[2]);
    if (argc == 3 && mode == "serve")
        return serve(argv[2]);
    std::cerr << "usage: analyzer_peer decode|encode TYPE | serve CERTDIR\n";
    return 1;
}
