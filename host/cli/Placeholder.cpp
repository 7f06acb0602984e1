// Placeholder so the tooling library has a source until the command line lands.
namespace quorveil::cli {
int placeholder() { return 0; }
}  // namespace quorveil::cli
