#include "tests/jni/fake_jni.h"

#include <algorithm>
#include <cstring>

namespace amix_test {
namespace {
FakeJni* g_current = nullptr;  // the one environment of the test in progress
}

FakeJni& FakeJni::of(JNIEnv*) { return *g_current; }

FakeJni::FakeJni() {
  g_current = this;
  env_.functions = &table_;
  vm_.functions = &vm_table_;

  vm_table_.GetEnv = [](JavaVM*, void** penv, jint version) -> jint {
    FakeJni& f = *g_current;
    if (f.fail_get_env_ || version > JNI_VERSION_1_8) return JNI_EVERSION;
    *penv = &f.env_;
    return JNI_OK;
  };
  table_.GetObjectClass = [](JNIEnv* e, jobject o) -> jclass {
    FakeJni& f = of(e);
    FakeObject& k = f.add(FakeObject::Kind::klass);
    k.fields = obj(o).fields;
    f.new_local_ref();
    return static_cast<jclass>(handle(k));
  };
  table_.GetFieldID = [](JNIEnv* e, jclass c, const char* name, const char* sig) -> jfieldID {
    FakeJni& f = of(e);
    if (std::strcmp(sig, "J") != 0 || obj(c).fields.count(name) == 0) {
      f.exception_ = true;  // NoSuchFieldError
      return nullptr;
    }
    f.field_ids_.push_back(std::make_unique<std::string>(name));
    return reinterpret_cast<jfieldID>(f.field_ids_.back().get());
  };
  table_.GetLongField = [](JNIEnv*, jobject o, jfieldID id) -> jlong {
    return obj(o).fields.at(*reinterpret_cast<std::string*>(id));
  };
  table_.SetLongField = [](JNIEnv*, jobject o, jfieldID id, jlong v) {
    obj(o).fields.at(*reinterpret_cast<std::string*>(id)) = v;
  };
  table_.GetDirectBufferAddress = [](JNIEnv*, jobject o) -> void* {
    return obj(o).kind == FakeObject::Kind::direct_buffer ? obj(o).bytes.data() : nullptr;
  };
  table_.GetDirectBufferCapacity = [](JNIEnv*, jobject o) -> jlong {
    return obj(o).kind == FakeObject::Kind::direct_buffer ? jlong(obj(o).bytes.size()) : -1;
  };
  table_.GetArrayLength = [](JNIEnv*, jarray a) -> jsize {
    const FakeObject& o = obj(a);
    if (o.kind == FakeObject::Kind::object_array) return jsize(o.elements.size());
    if (o.kind == FakeObject::Kind::float_array) return jsize(o.floats.size());
    if (o.kind == FakeObject::Kind::long_array) return jsize(o.longs.size());
    return jsize(o.byte_values.size());
  };
  table_.GetObjectArrayElement = [](JNIEnv* e, jobjectArray a, jsize i) -> jobject {
    jobject element = obj(a).elements.at(size_t(i));
    if (element != nullptr) of(e).new_local_ref();
    return element;
  };
  table_.DeleteLocalRef = [](JNIEnv* e, jobject) { --of(e).local_refs_; };
  table_.GetFloatArrayRegion = [](JNIEnv*, jfloatArray a, jsize start, jsize n, jfloat* out) {
    const auto& v = obj(a).floats;
    std::copy(v.begin() + start, v.begin() + start + n, out);
  };
  table_.GetLongArrayRegion = [](JNIEnv*, jlongArray a, jsize start, jsize n, jlong* out) {
    const auto& v = obj(a).longs;
    std::copy(v.begin() + start, v.begin() + start + n, out);
  };
  table_.NewByteArray = [](JNIEnv* e, jsize n) -> jbyteArray {
    FakeJni& f = of(e);
    if (f.fail_next_array_) {
      f.fail_next_array_ = false;
      f.exception_ = true;  // OutOfMemoryError
      return nullptr;
    }
    FakeObject& a = f.add(FakeObject::Kind::byte_array);
    a.byte_values.assign(size_t(n), 0);
    return static_cast<jbyteArray>(handle(a));
  };
  table_.SetByteArrayRegion = [](JNIEnv*, jbyteArray a, jsize start, jsize n, const jbyte* in) {
    std::copy(in, in + n, obj(a).byte_values.begin() + start);
  };
}

FakeObject& FakeJni::add(FakeObject::Kind kind) {
  objects_.push_back(std::make_unique<FakeObject>());
  objects_.back()->kind = kind;
  return *objects_.back();
}

void FakeJni::new_local_ref() {
  most_local_refs_ = std::max(most_local_refs_, ++local_refs_);
}

jobject FakeJni::instance(const std::vector<std::string>& long_fields) {
  FakeObject& o = add(FakeObject::Kind::instance);
  for (const auto& name : long_fields) o.fields[name] = 0;
  return handle(o);
}

jobject FakeJni::buffer(FakeObject::Kind kind, std::size_t capacity) {
  FakeObject& o = add(kind);
  o.bytes.assign(capacity, 0);
  return handle(o);
}
jobject FakeJni::direct_buffer(std::size_t capacity) {
  return buffer(FakeObject::Kind::direct_buffer, capacity);
}
jobject FakeJni::heap_buffer(std::size_t capacity) {
  return buffer(FakeObject::Kind::heap_buffer, capacity);
}

jobjectArray FakeJni::object_array(const std::vector<jobject>& elements) {
  FakeObject& o = add(FakeObject::Kind::object_array);
  o.elements = elements;
  return static_cast<jobjectArray>(handle(o));
}

jfloatArray FakeJni::float_array(const std::vector<float>& values) {
  FakeObject& o = add(FakeObject::Kind::float_array);
  o.floats = values;
  return static_cast<jfloatArray>(handle(o));
}

jlongArray FakeJni::long_array(const std::vector<jlong>& values) {
  FakeObject& o = add(FakeObject::Kind::long_array);
  o.longs = values;
  return static_cast<jlongArray>(handle(o));
}

uint8_t* FakeJni::address(jobject buffer) { return obj(buffer).bytes.data(); }
jlong FakeJni::field(jobject o, const std::string& name) { return obj(o).fields.at(name); }
std::vector<jbyte> FakeJni::bytes_of(jbyteArray a) { return obj(a).byte_values; }

}  // namespace amix_test
