// A small stand-in for the Java VM's JNI environment, enough to call the
// library's native methods from a plain test program (also on builds and
// machines without a JVM, such as the ARM cross builds under qemu).
//
// Java objects are FakeObject instances; a jobject is a pointer to one.  The
// environment counts live local references, so tests can check that a
// native method deletes what it creates.
#pragma once

#include <jni.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace amix_test {

struct FakeObject {
  enum class Kind {
    instance, klass, direct_buffer, heap_buffer, object_array, float_array, long_array, byte_array
  };
  Kind kind;
  // instance: the long fields by name; klass: the field names it declares.
  std::map<std::string, jlong> fields;
  // buffers
  std::vector<uint8_t> bytes;
  // arrays
  std::vector<jobject> elements;
  std::vector<float> floats;
  std::vector<jlong> longs;
  std::vector<jbyte> byte_values;
};

class FakeJni {
 public:
  FakeJni();
  FakeJni(const FakeJni&) = delete;
  FakeJni& operator=(const FakeJni&) = delete;

  JNIEnv* env() { return &env_; }
  JavaVM* vm() { return &vm_; }

  // Objects live as long as the environment.
  jobject instance(const std::vector<std::string>& long_fields);
  jobject direct_buffer(std::size_t capacity);
  jobject heap_buffer(std::size_t capacity);
  jobjectArray object_array(const std::vector<jobject>& elements);
  jfloatArray float_array(const std::vector<float>& values);
  jlongArray long_array(const std::vector<jlong>& values);

  uint8_t* address(jobject buffer);
  jlong field(jobject object, const std::string& name);
  std::vector<jbyte> bytes_of(jbyteArray array);

  int live_local_refs() const { return local_refs_; }
  int most_local_refs() const { return most_local_refs_; }
  bool exception_pending() const { return exception_; }
  // The next NewByteArray fails (as when the Java heap is exhausted).
  void fail_next_array() { fail_next_array_ = true; }
  // GetEnv of the VM reports failure.
  void fail_get_env() { fail_get_env_ = true; }

 private:
  static FakeJni& of(JNIEnv* env);
  static FakeObject& obj(jobject o) { return *reinterpret_cast<FakeObject*>(o); }
  static jobject handle(FakeObject& o) { return reinterpret_cast<jobject>(&o); }
  FakeObject& add(FakeObject::Kind kind);
  jobject buffer(FakeObject::Kind kind, std::size_t capacity);
  void new_local_ref();

  JNINativeInterface_ table_{};
  JNIInvokeInterface_ vm_table_{};
  JNIEnv env_{};
  JavaVM vm_{};
  std::vector<std::unique_ptr<FakeObject>> objects_;
  std::vector<std::unique_ptr<std::string>> field_ids_;
  int local_refs_ = 0;
  int most_local_refs_ = 0;
  bool exception_ = false;
  bool fail_next_array_ = false;
  bool fail_get_env_ = false;
};

}  // namespace amix_test
