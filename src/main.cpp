#include <memory>

#include "main_window/frm_main.h"
#include "platform/runtime.h"

int main(int argc, char** argv) {
  const platform::ProjectDescription project{
      "Omenglobe", []() -> std::unique_ptr<platform::Form> { return std::make_unique<frmMain>(); }};
  return platform::Run(project, argc, argv);
}
