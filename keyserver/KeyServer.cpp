#include "KeyServer.h"

#include "SessionIdentity.h"
#include "ZlibCompressor.h"

#include <iostream>
#include <regex>
#include <stdexcept>
#include <thread>

namespace {

using HandlerResponse = httplib::Server::HandlerResponse;

const char* const too_large_text = "请求过大";
const char* const too_frequent_text = "请求过于频繁";
const char* const internal_error_text = "服务器内部错误";

// Routes are regular expressions, so the base path is held to characters that match themselves.
const std::regex base_path_form("(/[A-Za-z0-9_-]+)*");

} // namespace

KeyServer::KeyServer(Catalogue& catalogue, KeyServerConfig server_config)
    : config(std::move(server_config))
    , handler(catalogue, config.empty_answers, config.promote_after)
    , limiter(config.rate_limit, config.rate_window)
    , log(config.log)
    , http(config.certificate_path.c_str(), config.private_key_path.c_str())
{
    if (!http.is_valid()) {
        throw std::runtime_error("cannot load the certificate " + config.certificate_path + " with the key " +
                                 config.private_key_path);
    }
    if (!std::regex_match(config.base_path, base_path_form)) {
        throw std::runtime_error("the base path must look like /api, not " + config.base_path);
    }
    http.set_payload_max_length(largest_request);
    const auto post = [this](const httplib::Request& request, httplib::Response& response) {
        answer(request, response);
    };
    http.Post(config.base_path.empty() ? "/" : config.base_path, post);
    http.Post(config.base_path + "/v1/emusic", post);
    http.Post(config.base_path + "/v1/user", post);

    http.set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
        log.begin();
        return HandlerResponse::Unhandled;
    });
    http.set_error_handler(
        httplib::Server::HandlerWithResponse([this](const httplib::Request&, httplib::Response& response) {
            if (response.status != 413) {
                return HandlerResponse::Unhandled;
            }
            send(response, KeyCommandHandler::failure(413, zudata::CMD_UNKNOW, too_large_text));
            return HandlerResponse::Handled;
        }));
    // The default would put the exception's text into a response header.
    http.set_exception_handler(
        [this](const httplib::Request& request, httplib::Response& response, std::exception_ptr failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                std::cerr << "error answering " << request.path << ": " << e.what() << std::endl;
            }
            response = httplib::Response();
            send(response, KeyCommandHandler::failure(500, zudata::CMD_UNKNOW, internal_error_text));
        });
    http.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        log.finish(request.path, response.status);
    });
}

int KeyServer::listen()
{
    const int port = config.port == 0 ? http.bind_to_any_port(config.address)
                                      : (http.bind_to_port(config.address, config.port) ? config.port : -1);
    if (port <= 0) {
        throw std::runtime_error("cannot listen on " + config.address + " port " +
                                 std::to_string(config.port));
    }
    return port;
}

void KeyServer::serve()
{
    serving = true;
    if (!stop_requested) {
        http.listen_after_bind();
    }
    serving = false;
}

void KeyServer::stop()
{
    stop_requested = true;
    // A stop that comes while serve() is starting up would be lost if the server were not
    // running yet, so it waits for that moment.
    while (serving && !http.is_running()) {
        std::this_thread::yield();
    }
    http.stop();
}

void KeyServer::answer(const httplib::Request& request, httplib::Response& response)
{
    const Session session = SessionIdentity::of(request);
    if (!session.has_cookie) {
        response.set_header("Set-Cookie",
                            SessionIdentity::new_cookie(config.base_path.empty() ? "/" : config.base_path));
    }
    if (!limiter.admit(session.key)) {
        response.set_header("Retry-After", "1");
        send(response, KeyCommandHandler::failure(429, zudata::CMD_UNKNOW, too_frequent_text));
        return;
    }
    send(response, handler.handle(request.body,
                                  {session.key, SessionIdentity::is_curator(request, config.curator_token)}));
}

void KeyServer::send(httplib::Response& response, const KeyAnswer& answer)
{
    log.note(answer.respond.cmd(), answer.respond.err());
    const std::string body = answer.respond.SerializeAsString();
    response.status = answer.status;
    // The HTTP library gzips "application/protobuf" bodies on its own for clients that accept
    // gzip, on top of our zlib; the assistant would then see "zlib, gzip" and could not inflate.
    if (body.size() > largest_plain_answer) {
        response.set_header("Content-Encoding", "zlib");
        response.set_header("Content-unzipLength", std::to_string(body.size()));
        response.set_content(ZlibCompressor::compress(body), "application/x-protobuf");
    } else {
        response.set_content(body, "application/x-protobuf");
    }
}
