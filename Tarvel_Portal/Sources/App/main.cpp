#include "Tarvel_Portal/Sources/App/TarvelPortalApp.hpp"

int main(int argc, char** argv) { return tarvelportal::TarvelPortalApp::run(argc, argv); }
